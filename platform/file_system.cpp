#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/error.h"

namespace pelmaro::platform {
namespace {

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
            if (errno != EINTR) {
                throw Error("Cannot read file \"" + name_ + "\". " + systemMessage(errno));
            }
        }
    }

private:
    int fd_;
    std::string name_;
};

// Opens without blocking on FIFOs and accepts regular files only. Returns -1 and sets errno
// otherwise.
int openRegularFile(const std::string& fileName) {
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
    // Reads from a regular file never block; clear the flag anyway so the descriptor is ordinary.
    ::fcntl(fd, F_SETFL, 0);
    return fd;
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

}  // namespace

bool PosixFileSystem::listFolder(const std::string& folder, std::vector<DirEntry>& entries) {
    const std::string path = folder.empty() ? std::string("/") : folder;
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) {
        return false;
    }
    const std::string prefix = path.back() == '/' ? path : path + '/';
    while (const dirent* raw = ::readdir(dir)) {
        const char* name = raw->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
            continue;
        }
        DirEntry entry;
        entry.name = name;
        if (raw->d_type == DT_REG) {
            entry.kind = DirEntry::Kind::File;
        } else if (raw->d_type == DT_DIR || raw->d_type == DT_LNK || raw->d_type == DT_UNKNOWN) {
            // Directories need their identity, links and unknown types their target's type.
            struct stat info {};
            if (::stat((prefix + entry.name).c_str(), &info) == 0) {
                if (S_ISREG(info.st_mode)) {
                    entry.kind = DirEntry::Kind::File;
                } else if (S_ISDIR(info.st_mode)) {
                    entry.kind = DirEntry::Kind::Directory;
                    entry.device = static_cast<std::uint64_t>(info.st_dev);
                    entry.inode = static_cast<std::uint64_t>(info.st_ino);
                }
            }
        }
        entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    return true;
}

bool PosixFileSystem::folderIdentity(const std::string& folder, std::uint64_t& device,
                                     std::uint64_t& inode) {
    struct stat info {};
    if (::stat(folder.empty() ? "/" : folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return false;
    }
    device = static_cast<std::uint64_t>(info.st_dev);
    inode = static_cast<std::uint64_t>(info.st_ino);
    return true;
}

std::int64_t PosixFileSystem::fileSize(const std::string& fileName) {
    const int fd = openRegularFile(fileName);
    if (fd < 0) {
        return -1;
    }
    struct stat info {};
    const std::int64_t size =
        ::fstat(fd, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : -1;
    ::close(fd);
    return size;
}

std::unique_ptr<InputFile> PosixFileSystem::openForReading(const std::string& fileName) {
    const int fd = openRegularFile(fileName);
    if (fd < 0) {
        throwCannotOpen(fileName, errno);
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
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
    std::string temporary = fileName + ".XXXXXX";
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
    if (ok && ::rename(temporary.c_str(), fileName.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        throwCannotCreate(fileName, err);
    }
}

bool PosixFileSystem::removeFile(const std::string& fileName) {
    return !fileName.empty() && ::unlink(fileName.c_str()) == 0;
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
