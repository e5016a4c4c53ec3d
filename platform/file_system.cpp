#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "platform/error.h"

namespace pelmaro::platform {
namespace {

constexpr std::int64_t kAdviseSequentialFrom = 256 * 1024;

// A temporary file of "/x/a.title" is "/x/.a.title.Ab3dE6gH.tmp": hidden, and named so that no
// file of the user's is taken for one.
constexpr std::size_t kRandomLength = 8;
constexpr std::string_view kTemporarySuffix = ".tmp";
constexpr char kRandomAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// How long lockFolder waits for another holder, and how often it asks.
constexpr auto kLockPatience = std::chrono::seconds(10);
constexpr auto kLockRetry = std::chrono::milliseconds(10);

std::string randomPart() {
    thread_local std::mt19937_64 generator{std::random_device{}() ^
                                           static_cast<std::uint64_t>(::getpid()) << 32};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kRandomAlphabet - 2);
    std::string out(kRandomLength, ' ');
    for (char& c : out) {
        c = kRandomAlphabet[pick(generator)];
    }
    return out;
}

std::string_view baseNameOf(std::string_view fileName) {
    const std::size_t slash = fileName.rfind('/');
    return slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
}

// Whether `entry` (a name in a folder) is a temporary file of the file named `base` there.
bool isTemporaryOf(std::string_view entry, std::string_view base) {
    const std::size_t length = 1 + base.size() + 1 + kRandomLength + kTemporarySuffix.size();
    if (entry.size() != length || entry[0] != '.' || entry.substr(1, base.size()) != base ||
        entry[1 + base.size()] != '.' || !entry.ends_with(kTemporarySuffix)) {
        return false;
    }
    for (const char c : entry.substr(2 + base.size(), kRandomLength)) {
        if (std::strchr(kRandomAlphabet, c) == nullptr || c == '\0') {
            return false;
        }
    }
    return true;
}

[[noreturn]] void throwNotRegular(const std::string& fileName) {
    throw Error(cannotMessage("open file", fileName, "It is not a regular file"), EINVAL);
}

// Syncs a folder; the errno value of a failure, or 0.
int folderSyncError(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    int err = 0;
    // Some file systems can't sync a folder (EINVAL): their renames are as lasting as they get.
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        err = errno;
    }
    ::close(fd);
    return err;
}

class PosixFolderLock final : public FolderLock {
public:
    explicit PosixFolderLock(int fd) : fd_(fd) {}
    ~PosixFolderLock() override { ::close(fd_); }
    PosixFolderLock(const PosixFolderLock&) = delete;
    PosixFolderLock& operator=(const PosixFolderLock&) = delete;

private:
    int fd_;
};

std::optional<FileStamp> stampOf(const struct stat& info) {
    if (!S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    constexpr std::int64_t kNsPerSecond = 1000000000;
    return FileStamp{
        .size = static_cast<std::int64_t>(info.st_size),
        .modifiedNs =
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * kNsPerSecond + info.st_mtim.tv_nsec,
        .changedNs =
            static_cast<std::int64_t>(info.st_ctim.tv_sec) * kNsPerSecond + info.st_ctim.tv_nsec,
        .device = static_cast<std::uint64_t>(info.st_dev),
        .inode = static_cast<std::uint64_t>(info.st_ino),
        .names = static_cast<std::uint64_t>(info.st_nlink),
    };
}

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
                throwCannot("read file", name_, errno);
            }
        }
    }
    std::optional<FileStamp> stamp() const override {
        struct stat info {};
        if (::fstat(fd_, &info) != 0) {
            return std::nullopt;
        }
        return stampOf(info);
    }

private:
    int fd_;
    std::string name_;
};

// What fileSize answers for an entry of the folder open as `dirFd`, whose status is `info`: the
// same check of readability as an open, without opening. `user` is the effective user id.
std::optional<std::int64_t> listedFileSize(int dirFd, const char* name, const struct stat& info,
                                           uid_t user) {
    // The owner's read bit is all the system asks of the owner (an access list's owner entry is
    // that bit), so a file of one's own needs no further call; any other case asks the system.
    const bool readable = (info.st_uid == user && (info.st_mode & S_IRUSR) != 0) ||
                          ::faccessat(dirFd, name, R_OK, AT_EACCESS) == 0;
    if (!readable) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(info.st_size);
}

// Whether the entry `name` of the folder open as `dirFd` is a symbolic link; `type` is what the
// listing said (file systems that don't say get asked).
bool isLink(int dirFd, const char* name, unsigned char type) {
    if (type != DT_UNKNOWN) {
        return type == DT_LNK;
    }
    struct stat own {};
    return ::fstatat(dirFd, name, &own, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(own.st_mode);
}

std::optional<std::string> resolvedPath(const std::string& name) {
    char* resolved = ::realpath(name.empty() ? "/" : name.c_str(), nullptr);
    if (resolved == nullptr) {
        return std::nullopt;
    }
    std::string path = resolved;
    std::free(resolved);
    return path;
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
    // A broken link is replaced.
    return resolvedPath(fileName).value_or(fileName);
}

// Creates a new temporary file beside `besides`: its descriptor, and its name in `temporary`.
// Failures name `reported`.
int openTemporary(const std::string& besides, const std::string& reported, std::string& temporary) {
    if (besides.empty() || besides.back() == '/') {
        throwCannotCreate(reported, besides.empty() ? ENOENT : EISDIR);
    }
    const std::string_view base = baseNameOf(besides);
    const std::string prefix =
        besides.substr(0, besides.size() - base.size()) + "." + std::string(base) + ".";
    int fd = -1;
    // A plain create with O_EXCL: the process's umask gives the mode, as for any new file, and
    // no other thread's files are affected.
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = prefix + randomPart() + std::string(kTemporarySuffix);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        throwCannotCreate(reported, errno);
    }
    return fd;
}

// Syncs and closes a temporary file written so far (`written` false when a write failed);
// deletes it on any failure.
void closeTemporary(int fd, const std::string& temporary, const std::string& reported,
                    bool written) {
    bool ok = written && ::fsync(fd) == 0;
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        throwCannotCreate(reported, err);
    }
}

// Writes `bytes` to a new temporary file beside `besides` and syncs it; its name. Failures name
// `reported`.
std::string writeNewTemporary(const std::string& besides, const std::string& reported,
                              std::string_view bytes) {
    std::string temporary;
    const int fd = openTemporary(besides, reported, temporary);
    closeTemporary(fd, temporary, reported, writeAll(fd, bytes));
    return temporary;
}

class PosixTemporaryFile final : public TemporaryFile {
public:
    explicit PosixTemporaryFile(const std::string& fileName)
        : reported_(fileName), fd_(openTemporary(fileName, fileName, name_)) {}
    ~PosixTemporaryFile() override {
        if (fd_ >= 0) {
            ::close(fd_);
            ::unlink(name_.c_str());
        }
    }
    PosixTemporaryFile(const PosixTemporaryFile&) = delete;
    PosixTemporaryFile& operator=(const PosixTemporaryFile&) = delete;

    void write(std::string_view bytes) override {
        if (fd_ < 0) {
            throwCannotCreate(reported_, EBADF);
        }
        if (!writeAll(fd_, bytes)) {
            const int err = errno;
            ::close(std::exchange(fd_, -1));
            ::unlink(name_.c_str());
            throwCannotCreate(reported_, err);
        }
    }
    std::string keep() override {
        if (fd_ < 0) {
            throwCannotCreate(reported_, EBADF);
        }
        closeTemporary(std::exchange(fd_, -1), name_, reported_, true);
        return name_;
    }

private:
    std::string reported_;
    std::string name_;
    int fd_;
};

// The pieces gathered in memory and written as one when kept, for a file system with no
// streaming writes of its own.
class GatheredTemporaryFile final : public TemporaryFile {
public:
    GatheredTemporaryFile(FileSystem& files, std::string fileName)
        : files_(files), fileName_(std::move(fileName)) {}
    void write(std::string_view bytes) override { bytes_.append(bytes); }
    std::string keep() override { return files_.writeTemporary(fileName_, bytes_); }

private:
    FileSystem& files_;
    std::string fileName_;
    std::string bytes_;
};

class HeldBytes final : public MappedFile {
public:
    explicit HeldBytes(std::string bytes) : bytes_(std::move(bytes)) {}
    std::string_view bytes() const override { return bytes_; }

private:
    std::string bytes_;
};

class MappedRegion final : public MappedFile {
public:
    MappedRegion(void* start, std::size_t size) : start_(start), size_(size) {}
    ~MappedRegion() override { ::munmap(start_, size_); }
    MappedRegion(const MappedRegion&) = delete;
    MappedRegion& operator=(const MappedRegion&) = delete;
    std::string_view bytes() const override { return {static_cast<const char*>(start_), size_}; }

private:
    void* start_;
    std::size_t size_;
};

// Opens a regular file for reading without blocking on a FIFO, and sets `size` to its size: the
// descriptor, or -1 with errno set (EISDIR for a folder, EINVAL for anything else that is not a
// regular file). It keeps O_NONBLOCK, which reads from a regular file ignore. A size asked for
// every file of a scan costs no exception this way.
int openRegularDescriptor(const std::string& fileName, std::int64_t& size) {
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

// Stats a file by its whole path, and the files after it in the same folder by their names
// alone, in the folder then held open (O_PATH: no read access is asked of it): the kernel walks
// one name instead of the whole path, links and all. A folder is opened at its second file in a
// row, so that files of folders taken by turns (a catalogue in the order of its titles) cost a
// stat each, as they would without the reader. A folder that can't be opened is left to stats
// of whole paths.
class FolderStampReader final : public StampReader {
public:
    FolderStampReader() = default;
    ~FolderStampReader() override { closeFolder(); }
    FolderStampReader(const FolderStampReader&) = delete;
    FolderStampReader& operator=(const FolderStampReader&) = delete;

    std::optional<FileStamp> stamp(std::string_view fileName) override {
        const std::size_t slash = fileName.rfind('/');
        if (slash == std::string_view::npos || slash + 1 == fileName.size()) {
            return wholePath(fileName);
        }
        const std::string_view folder = fileName.substr(0, slash == 0 ? 1 : slash);
        if (folder != folder_) {
            closeFolder();
            folder_ = folder;
            opened_ = false;
            return wholePath(fileName);
        }
        if (!opened_) {
            folderFd_ = ::open(folder_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            opened_ = true;
        }
        if (folderFd_ < 0) {
            return wholePath(fileName);
        }
        name_ = fileName.substr(slash + 1);
        struct stat info {};
        if (::fstatat(folderFd_, name_.c_str(), &info, 0) != 0) {
            return std::nullopt;
        }
        return stampOf(info);
    }

private:
    std::optional<FileStamp> wholePath(std::string_view fileName) {
        name_ = fileName;
        struct stat info {};
        if (::stat(name_.c_str(), &info) != 0) {
            return std::nullopt;
        }
        return stampOf(info);
    }
    void closeFolder() {
        if (folderFd_ >= 0) {
            ::close(folderFd_);
        }
        folderFd_ = -1;
    }

    std::string folder_;
    bool opened_ = false;  // whether folderFd_ was asked for folder_ (-1 when it failed)
    int folderFd_ = -1;
    std::string name_;  // NUL-terminated for the call
};

}  // namespace

RegularFile::~RegularFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_) {}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
        size_ = other.size_;
    }
    return *this;
}

RegularFile openRegularFile(const std::string& fileName) {
    std::int64_t size = 0;
    const int fd = openRegularDescriptor(fileName, size);
    if (fd < 0) {
        if (errno == EINVAL) {
            throwNotRegular(fileName);
        }
        throwCannotOpen(fileName, errno);
    }
    return RegularFile(fd, size);
}

std::vector<DirEntry> PosixFileSystem::listFolder(const std::string& folder) {
    DIR* dir = ::opendir(folder.empty() ? "/" : folder.c_str());
    if (dir == nullptr) {
        throwCannot("open folder", folder, errno);
    }
    std::vector<DirEntry> entries;
    // Entries are looked up relative to the open folder: no walk of the whole path per file.
    const int dirFd = ::dirfd(dir);
    const uid_t user = ::geteuid();
    const std::string prefix = folder.empty() || folder.back() != '/' ? folder + "/" : folder;
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
                entry.access = EntryAccess{static_cast<std::uint32_t>(info.st_uid),
                                           static_cast<std::uint32_t>(info.st_mode)};
                if (S_ISREG(info.st_mode)) {
                    entry.kind = DirEntry::Kind::File;
                    entry.sizeListed = true;
                    entry.size = listedFileSize(dirFd, name, info, user);
                } else if (S_ISDIR(info.st_mode)) {
                    entry.kind = DirEntry::Kind::Directory;
                    entry.id = {static_cast<std::uint64_t>(info.st_dev),
                                static_cast<std::uint64_t>(info.st_ino)};
                    if (isLink(dirFd, name, raw->d_type)) {
                        if (auto real = resolvedPath(prefix + name)) {
                            const bool reached = everyoneReaches(*real);
                            entry.link = LinkedFolder{std::move(*real), entry.access->owner,
                                                      entry.access->mode, reached};
                        } else {
                            entry.kind = DirEntry::Kind::Other;  // gone, or can't be judged
                        }
                    }
                }
            } else if (raw->d_type == DT_REG) {
                // Gone since it was listed.
                entry.kind = DirEntry::Kind::File;
                entry.sizeListed = true;
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

std::optional<std::string> PosixFileSystem::realPath(const std::string& name) {
    return resolvedPath(name);
}

std::optional<std::string> PosixFileSystem::homeFolder() {
    std::string home;
    if (const char* variable = std::getenv("HOME"); variable != nullptr && *variable != '\0') {
        home = variable;
    } else {
        // getpwuid_r, not getpwuid: a scan asks from a worker thread.
        std::vector<char> buffer(16384);
        passwd account{};
        passwd* found = nullptr;
        if (::getpwuid_r(::getuid(), &account, buffer.data(), buffer.size(), &found) != 0 ||
            found == nullptr || found->pw_dir == nullptr) {
            return std::nullopt;
        }
        home = found->pw_dir;
    }
    if (auto real = resolvedPath(home)) {
        return real;
    }
    // A home that is not there yet still counts as the user's.
    while (home.size() > 1 && home.back() == '/') {
        home.pop_back();
    }
    return home.starts_with('/') ? std::optional<std::string>(home) : std::nullopt;
}

std::set<std::uint64_t> PosixFileSystem::systemStateDevices() {
    // Each line of mountinfo: "22 1 0:21 / /proc rw,nosuid - proc proc rw": the third field is
    // the device, the one after " - " the file system type.
    static constexpr std::array kSystemTypes = {
        "proc",      "sysfs",       "devtmpfs", "devpts", "debugfs",    "tracefs", "securityfs",
        "cgroup",    "cgroup2",     "pstore",   "bpf",    "configfs",   "fusectl", "mqueue",
        "hugetlbfs", "binfmt_misc", "efivarfs", "autofs", "rpc_pipefs", "nsfs",
    };
    std::set<std::uint64_t> devices;
    std::string content;
    try {
        PosixFileSystem files;
        content = readWholeFile(files, "/proc/self/mountinfo");
    } catch (const Error&) {
        return devices;  // no /proc: nothing is known to skip
    }
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos) {
            end = content.size();
        }
        const std::string_view line = std::string_view(content).substr(start, end - start);
        start = end + 1;
        unsigned major = 0;
        unsigned minor = 0;
        const std::size_t separator = line.find(" - ");
        if (separator == std::string_view::npos ||
            std::sscanf(std::string(line.substr(0, separator)).c_str(), "%*s %*s %u:%u", &major,
                        &minor) != 2) {
            continue;
        }
        const std::string_view rest = line.substr(separator + 3);
        const std::string_view type = rest.substr(0, rest.find(' '));
        for (const char* system : kSystemTypes) {
            if (type == system) {
                devices.insert(static_cast<std::uint64_t>(::makedev(major, minor)));
            }
        }
    }
    return devices;
}

std::optional<std::int64_t> PosixFileSystem::fileSize(const std::string& fileName) {
    std::int64_t size = 0;
    const int fd = openRegularDescriptor(fileName, size);
    if (fd < 0) {
        return std::nullopt;
    }
    ::close(fd);
    return size;
}

std::optional<FileStamp> PosixFileSystem::fileStamp(const std::string& fileName) {
    struct stat info {};
    if (::stat(fileName.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return stampOf(info);
}

std::unique_ptr<StampReader> PosixFileSystem::stampReader() {
    return std::make_unique<FolderStampReader>();
}

std::unique_ptr<InputFile> PosixFileSystem::openForReading(const std::string& fileName) {
    RegularFile file = openRegularFile(fileName);
    // A larger read-ahead pays off for files read whole; a page read for its title is over
    // before the advice would matter, and the call would cost as much as the read.
    if (file.size() > kAdviseSequentialFrom) {
        ::posix_fadvise(file.descriptor(), 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    return std::make_unique<PosixInputFile>(file.release(), fileName);
}

bool PosixFileSystem::fileExists(const std::string& fileName) {
    struct stat info {};
    return !fileName.empty() && ::stat(fileName.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void PosixFileSystem::writeFile(const std::string& fileName, std::string_view bytes) {
    const std::string target = writeTarget(fileName);
    const std::string temporary = writeNewTemporary(target, fileName, bytes);
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(temporary.c_str());
        throwCannotCreate(fileName, err);
    }
    // The rename itself must last too: a crash right after a save would otherwise bring back
    // the old content, or no file at all.
    if (const int err = folderSyncError(folderOf(target))) {
        throwCannotCreate(fileName, err);
    }
}

std::string PosixFileSystem::writeTemporary(const std::string& fileName, std::string_view bytes) {
    return writeNewTemporary(fileName, fileName, bytes);
}

std::unique_ptr<TemporaryFile> PosixFileSystem::createTemporary(const std::string& fileName) {
    return std::make_unique<PosixTemporaryFile>(fileName);
}

std::unique_ptr<TemporaryFile> FileSystem::createTemporary(const std::string& fileName) {
    return std::make_unique<GatheredTemporaryFile>(*this, fileName);
}

std::unique_ptr<StampReader> FileSystem::stampReader() {
    // Asks the file system it reads for, one file at a time.
    class EachFile final : public StampReader {
    public:
        explicit EachFile(FileSystem& files) : files_(files) {}
        std::optional<FileStamp> stamp(std::string_view fileName) override {
            return files_.fileStamp(std::string(fileName));
        }

    private:
        FileSystem& files_;
    };
    return std::make_unique<EachFile>(*this);
}

std::unique_ptr<MappedFile> heldBytes(std::string bytes) {
    return std::make_unique<HeldBytes>(std::move(bytes));
}

std::unique_ptr<MappedFile> FileSystem::mapForReading(const std::string& fileName) {
    return heldBytes(readWholeFile(*this, fileName));
}

std::unique_ptr<MappedFile> PosixFileSystem::mapForReading(const std::string& fileName) {
    const RegularFile file = openRegularFile(fileName);
    if (file.size() == 0) {
        return heldBytes({});  // a mapping can't be empty
    }
    const auto size = static_cast<std::size_t>(file.size());
    void* start = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.descriptor(), 0);
    if (start == MAP_FAILED) {
        throwCannotOpen(fileName, errno);
    }
    return std::make_unique<MappedRegion>(start, size);
}

void PosixFileSystem::renameFile(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        throwCannotCreate(to, errno);
    }
}

void PosixFileSystem::syncFolder(const std::string& folder) {
    if (const int err = folderSyncError(folder)) {
        throwCannot("write folder", folder, err);
    }
}

std::vector<std::string> PosixFileSystem::temporariesOf(const std::string& fileName) {
    std::vector<std::string> found;
    const std::string folder = folderOf(fileName);
    const std::string_view base = baseNameOf(fileName);
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr || base.empty()) {
        if (dir != nullptr) {
            ::closedir(dir);
        }
        return found;
    }
    const std::string prefix = fileName.substr(0, fileName.size() - base.size());
    while (const dirent* entry = ::readdir(dir)) {
        if (isTemporaryOf(entry->d_name, base)) {
            found.push_back(prefix + entry->d_name);
        }
    }
    ::closedir(dir);
    return found;
}

bool PosixFileSystem::isSymbolicLink(const std::string& name) {
    struct stat info {};
    return ::lstat(name.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

std::optional<std::vector<std::string>> PosixFileSystem::symbolicLinksIn(
    const std::string& folder) {
    DIR* dir = ::opendir(folder.empty() ? "/" : folder.c_str());
    if (dir == nullptr) {
        return std::nullopt;
    }
    std::vector<std::string> links;
    while (const dirent* raw = ::readdir(dir)) {
        if (isLink(::dirfd(dir), raw->d_name, raw->d_type)) {
            links.emplace_back(raw->d_name);
        }
    }
    ::closedir(dir);
    return links;
}

namespace {

// The lock of `folder`, or nullptr while another holds it, after asking until `giveUp`.
std::unique_ptr<FolderLock> lockFolderBefore(const std::string& folder,
                                             std::chrono::steady_clock::time_point giveUp) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        // A folder that can be used but not listed; whatever is done in it then fails by itself.
        return std::make_unique<FolderLock>();
    }
    auto lock = std::make_unique<PosixFolderLock>(fd);
    // Not a blocking wait: a holder that hangs must not hang this program with it.
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) {
            continue;
        }
        if (errno != EWOULDBLOCK) {
            return lock;  // no locks on this file system (ENOLCK, EOPNOTSUPP...)
        }
        if (std::chrono::steady_clock::now() >= giveUp) {
            return nullptr;
        }
        std::this_thread::sleep_for(kLockRetry);
    }
    return lock;
}

}  // namespace

std::unique_ptr<FolderLock> PosixFileSystem::lockFolder(const std::string& folder) {
    std::unique_ptr<FolderLock> lock =
        lockFolderBefore(folder, std::chrono::steady_clock::now() + kLockPatience);
    if (lock == nullptr) {
        throwCannot("lock folder", folder, EWOULDBLOCK);
    }
    return lock;
}

std::unique_ptr<FolderLock> PosixFileSystem::tryLockFolder(const std::string& folder) {
    return lockFolderBefore(folder, std::chrono::steady_clock::now());
}

std::string_view folderPart(std::string_view fileName) {
    const std::size_t slash = fileName.rfind('/');
    if (slash == std::string_view::npos) {
        return ".";
    }
    return slash == 0 ? std::string_view("/") : fileName.substr(0, slash);
}

std::string folderOf(const std::string& fileName) {
    return std::string(folderPart(fileName));
}

std::string childName(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() != '/' ? folder + "/" + name : folder + name;
}

void PosixFileSystem::makeFolders(const std::string& folder) {
    // Each folder on the way, from the top: "/a", "/a/b", "/a/b/c".
    for (std::size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::string step = folder.substr(0, end);
        if (!step.empty() && step.back() != '/' && ::mkdir(step.c_str(), 0777) != 0) {
            const int err = errno;
            struct stat info {};
            if (err != EEXIST || ::stat(step.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
                throwCannot("create folder", folder, err == EEXIST ? ENOTDIR : err);
            }
        }
        if (end == std::string::npos) {
            break;
        }
    }
}

void PosixFileSystem::removeFile(const std::string& fileName) {
    if (::unlink(fileName.c_str()) != 0 && errno != ENOENT) {
        throwCannot("delete file", fileName, errno);
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
