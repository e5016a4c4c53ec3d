#include "platform/folder_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <unordered_map>

namespace pelmaro::platform {
namespace {

// What makes a file's content other than it was, or the file another one.
constexpr std::uint32_t kChanges = IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_CREATE | IN_DELETE |
                                   IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;

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
                if ((event.mask & (IN_Q_OVERFLOW | IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED |
                                   IN_UNMOUNT)) != 0) {
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
};

}  // namespace

std::unique_ptr<FolderWatch> watchWithInotify(const std::vector<std::string>& folders) {
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    auto watch = std::make_unique<InotifyWatch>(fd);
    for (const std::string& folder : folders) {
        if (!watch->add(folder)) {
            return nullptr;  // past the limit on watches, or a folder gone: the stamps tell
        }
    }
    return watch;
}

}  // namespace pelmaro::platform
