#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/error.h"

namespace pelmaro::platform {
namespace {

constexpr std::int64_t kAdviseSequentialFrom = 256 * 1024;

class PosixInputFile final : public InputFile {
public:
    PosixInputFile(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
    ~PosixInputFile() override { ::close(fd_); }
    PosixInputFile(const PosixInputFile&) = delete;
    PosixInputFile& operator=(const PosixInputFile&) = delete;

    std::size_t read(char* buffer, std::size_t size) override {
        for (;;) {
            const ssize_t got = ::read(fd_, buffer, size);
            if (got >= 0) {
                return static_cast<std::size_t>(got);
            }
            if (errno == EAGAIN) {
                // Only a file system that honours O_NONBLOCK on regular files (some FUSE ones)
                // gets here: clearing the flag up front would cost every file a system call.
                if (::fcntl(fd_, F_SETFL, 0) == 0) {
                    continue;
                }
            }
            if (errno != EINTR) {
                throw Error("Cannot read file \"" + name_ + "\". " + systemMessage(errno));
            }
        }
    }

private:
    int fd_;
    std::string name_;
};

// What fileSize answers for an entry of the folder open as `dirFd`, whose status is `info`: the
// same check of readability as an open, without opening. `user` is the effective user id.
std::int64_t listedFileSize(int dirFd, const char* name, const struct stat& info, uid_t user) {
    // The owner's read bit is all the system asks of the owner (an access list's owner entry is
    // that bit), so a file of one's own needs no further call; any other case asks the system.
    const bool readable = (info.st_uid == user && (info.st_mode & S_IRUSR) != 0) ||
                          ::faccessat(dirFd, name, R_OK, AT_EACCESS) == 0;
    return readable ? static_cast<std::int64_t>(info.st_size) : -1;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

// The file a write to `fileName` replaces: the target of a link (so that a settings file kept
// elsewhere and linked into the configuration folder stays where it is), else the name itself.
std::string writeTarget(const std::string& fileName) {
    struct stat info {};
    if (::lstat(fileName.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
        return fileName;
    }
    char* resolved = ::realpath(fileName.c_str(), nullptr);
    if (resolved == nullptr) {
        return fileName;  // a broken link is replaced
    }
    std::string target = resolved;
    std::free(resolved);
    return target;
}

}  // namespace

int openRegularFile(const std::string& fileName, std::int64_t& size) {
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int err = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = err;
        return -1;
    }
    size = static_cast<std::int64_t>(info.st_size);
    return fd;
}

std::vector<DirEntry> PosixFileSystem::listFolder(const std::string& folder) {
    DIR* dir = ::opendir(folder.empty() ? "/" : folder.c_str());
    if (dir == nullptr) {
        throw Error("Cannot open folder \"" + folder + "\". " + systemMessage(errno));
    }
    std::vector<DirEntry> entries;
    // Entries are looked up relative to the open folder: no walk of the whole path per file.
    const int dirFd = ::dirfd(dir);
    const uid_t user = ::geteuid();
    while (const dirent* raw = ::readdir(dir)) {
        const char* name = raw->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
            continue;
        }
        DirEntry entry;
        entry.name = name;
        if (raw->d_type == DT_REG || raw->d_type == DT_DIR || raw->d_type == DT_LNK ||
            raw->d_type == DT_UNKNOWN) {
            // Files need their size, directories their identity, links and unknown types their
            // target's type.
            struct stat info {};
            if (::fstatat(dirFd, name, &info, 0) == 0) {
                if (S_ISREG(info.st_mode)) {
                    entry.kind = DirEntry::Kind::File;
                    entry.size = listedFileSize(dirFd, name, info, user);
                } else if (S_ISDIR(info.st_mode)) {
                    entry.kind = DirEntry::Kind::Directory;
                    entry.id = {static_cast<std::uint64_t>(info.st_dev),
                                static_cast<std::uint64_t>(info.st_ino)};
                }
            } else if (raw->d_type == DT_REG) {
                // Gone since it was listed.
                entry.kind = DirEntry::Kind::File;
                entry.size = -1;
            }
        }
        entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    return entries;
}

std::optional<FolderId> PosixFileSystem::folderIdentity(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.empty() ? "/" : folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return std::nullopt;
    }
    return FolderId{static_cast<std::uint64_t>(info.st_dev),
                    static_cast<std::uint64_t>(info.st_ino)};
}

std::optional<std::int64_t> PosixFileSystem::fileSize(const std::string& fileName) {
    std::int64_t size = -1;
    const int fd = openRegularFile(fileName, size);
    if (fd < 0) {
        return std::nullopt;
    }
    ::close(fd);
    return size;
}

std::unique_ptr<InputFile> PosixFileSystem::openForReading(const std::string& fileName) {
    std::int64_t size = 0;
    const int fd = openRegularFile(fileName, size);
    if (fd < 0) {
        throwCannotOpen(fileName, errno);
    }
    // A larger read-ahead pays off for files read whole; a page read for its title is over
    // before the advice would matter, and the call would cost as much as the read.
    if (size > kAdviseSequentialFrom) {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    return std::make_unique<PosixInputFile>(fd, fileName);
}

bool PosixFileSystem::fileExists(const std::string& fileName) {
    struct stat info {};
    return !fileName.empty() && ::stat(fileName.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void PosixFileSystem::writeFile(const std::string& fileName, std::string_view bytes) {
    if (fileName.empty() || fileName.back() == '/') {
        throwCannotCreate(fileName, fileName.empty() ? ENOENT : EISDIR);
    }
    const std::string target = writeTarget(fileName);
    std::string temporary = target + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        throwCannotCreate(fileName, errno);
    }
    // mkostemp creates the file private to the user; give it the mode a plain create would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);

    bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        throwCannotCreate(fileName, err);
    }
}

void PosixFileSystem::makeFolders(const std::string& folder) {
    // Each folder on the way, from the top: "/a", "/a/b", "/a/b/c".
    for (std::size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::string step = folder.substr(0, end);
        if (!step.empty() && step.back() != '/' && ::mkdir(step.c_str(), 0777) != 0) {
            const int err = errno;
            struct stat info {};
            if (err != EEXIST || ::stat(step.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
                throw Error("Cannot create folder \"" + folder + "\". " +
                            systemMessage(err == EEXIST ? ENOTDIR : err));
            }
        }
        if (end == std::string::npos) {
            break;
        }
    }
}

void PosixFileSystem::removeFile(const std::string& fileName) {
    if (::unlink(fileName.c_str()) != 0 && errno != ENOENT) {
        throw Error("Cannot delete file \"" + fileName + "\". " + systemMessage(errno));
    }
}

std::string readWholeFile(FileSystem& files, const std::string& fileName) {
    const auto file = files.openForReading(fileName);
    std::string content;
    char buffer[65536];
    while (const std::size_t got = file->read(buffer, sizeof buffer)) {
        content.append(buffer, got);
    }
    return content;
}

}  // namespace pelmaro::platform
