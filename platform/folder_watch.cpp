#include "platform/folder_watch.h"

#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <unordered_map>

namespace pelmaro::platform {
namespace {

// Whether every change to the files in `folder` is made by this machine's kernel, where inotify
// sees it: disks and memory, not a network or FUSE file system (NFS, SMB, sshfs), where a file
// can change on the server unseen, nor one such as /proc, whose files change without a word.
bool changesAreSeenIn(const std::string& folder) {
    struct statfs about {};
    if (::statfs(folder.c_str(), &about) != 0) {
        return false;
    }
    switch (static_cast<std::uint32_t>(about.f_type)) {
        case 0xEF53:      // ext2, ext3, ext4
        case 0x58465342:  // XFS
        case 0x9123683E:  // Btrfs
        case 0x2FC12FC1:  // ZFS
        case 0xF2F52010:  // F2FS
        case 0xCA451A4E:  // bcachefs
        case 0x3153464A:  // JFS
        case 0x52654973:  // ReiserFS
        case 0x3434:      // NILFS
        case 0x01021994:  // tmpfs
        case 0x858458F6:  // ramfs
        case 0x794C7630:  // overlayfs
        case 0xF15F:      // eCryptfs
        case 0x4D44:      // FAT
        case 0x2011BAB0:  // exFAT
        case 0x7366746E:  // NTFS
        case 0x482B:      // HFS+
        case 0x9660:      // ISO 9660
        case 0x15013346:  // UDF
        case 0x73717368:  // SquashFS
        case 0xE0F5E1E2:  // EROFS
            return true;
        default:
            return false;
    }
}

// What makes a file's content other than it was, or the file another one.
constexpr std::uint32_t kChanges = IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_CREATE | IN_DELETE |
                                   IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
// The same of one file watched itself (its names given or taken move its attributes).
constexpr std::uint32_t kFileChanges =
    IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

class InotifyWatch final : public FolderWatch {
public:
    explicit InotifyWatch(int fd) : fd_(fd) {}
    ~InotifyWatch() override { ::close(fd_); }
    InotifyWatch(const InotifyWatch&) = delete;
    InotifyWatch& operator=(const InotifyWatch&) = delete;

    bool add(const std::string& folder) {
        const int watch = ::inotify_add_watch(fd_, folder.c_str(), kChanges | IN_ONLYDIR);
        if (watch < 0) {
            return false;
        }
        folders_.emplace(watch, folder);
        return true;
    }

    bool watchFile(const std::string& file) override {
        const int watch = ::inotify_add_watch(fd_, file.c_str(), kFileChanges);
        if (watch < 0 || folders_.contains(watch)) {
            return false;
        }
        files_[watch].push_back(file);  // a file already watched under another name: both told
        return true;
    }

    std::optional<std::vector<std::string>> changes() override {
        std::vector<std::string> changed;
        alignas(inotify_event) char buffer[64 * 1024];
        while (!lost_) {
            const ssize_t got = ::read(fd_, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                break;  // EAGAIN: nothing more for now
            }
            for (ssize_t at = 0; at < got;) {
                inotify_event event;
                std::memcpy(&event, buffer + at, sizeof event);
                const char* name = buffer + at + sizeof event;
                at += static_cast<ssize_t>(sizeof event + event.len);
                if ((event.mask & (IN_Q_OVERFLOW | IN_UNMOUNT)) != 0) {
                    lost_ = true;
                    break;
                }
                if (const auto file = files_.find(event.wd); file != files_.end()) {
                    // A file watched itself: any event is a change (it is gone once ignored).
                    changed.insert(changed.end(), file->second.begin(), file->second.end());
                    if ((event.mask & IN_IGNORED) != 0) {
                        files_.erase(file);
                    }
                    continue;
                }
                if ((event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0) {
                    lost_ = true;
                    break;
                }
                const auto folder = folders_.find(event.wd);
                if (folder != folders_.end() && event.len > 0) {
                    changed.push_back(folder->second + "/" + std::string(name));
                }
            }
        }
        if (lost_) {
            return std::nullopt;
        }
        return changed;
    }

private:
    int fd_;
    bool lost_ = false;
    std::unordered_map<int, std::string> folders_;
    std::unordered_map<int, std::vector<std::string>> files_;
};

}  // namespace

std::unique_ptr<FolderWatch> watchWithInotify(const std::vector<std::string>& folders) {
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    auto watch = std::make_unique<InotifyWatch>(fd);
    for (const std::string& folder : folders) {
        // Past the limit on watches, a folder gone, or changes it wouldn't see: the stamps tell.
        if (!changesAreSeenIn(folder) || !watch->add(folder)) {
            return nullptr;
        }
    }
    return watch;
}

}  // namespace pelmaro::platform
