#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/folder_watch.h"
#include "platform/linked_folders.h"

namespace pelmaro::platform {

// Where a folder lives: a scan tells folders it has seen by it, links followed.
struct FolderId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend bool operator==(const FolderId&, const FolderId&) = default;
    friend auto operator<=>(const FolderId&, const FolderId&) = default;
};

// Who owns a file or folder, and its mode bits (st_mode).
struct EntryAccess {
    std::uint32_t owner = 0;
    std::uint32_t mode = 0;
};

// What tells one version of a file from another without reading it: a page whose stamp is the
// same as when it was read is taken to hold what it held then. The change time (ctime) moves
// with a chmod too, which may make a page unreadable without touching its content.
struct FileStamp {
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    // How many names (hard links) the file has; 0 where unknown. Not part of which version of the
    // file this is: a name given or taken moves the change time anyway.
    std::uint64_t names = 0;
    friend bool operator==(const FileStamp& a, const FileStamp& b) {
        return a.size == b.size && a.modifiedNs == b.modifiedNs && a.changedNs == b.changedNs &&
               a.device == b.device && a.inode == b.inode;
    }
};

// One entry of a folder listing, with symbolic links followed.
struct DirEntry {
    enum class Kind { File, Directory, Other };  // Other: FIFOs, sockets, devices, broken links
    std::string name;
    Kind kind = Kind::Other;
    // For a directory, so that a scan can tell folders it has seen.
    FolderId id;
    // For a file, whether the listing learnt its size on the way; ask FileSystem::fileSize when
    // it didn't.
    bool sizeListed = false;
    // When sizeListed: what FileSystem::fileSize would answer (empty for a file that can't be
    // read).
    std::optional<std::int64_t> size;
    // The owner and mode of a file or directory (a link's target's), when the listing learns
    // them on the way: a scan that has left its folder through a link keeps to what everyone may
    // read.
    std::optional<EntryAccess> access;
    // For a directory whose entry is a symbolic link: where it really leads, so that a scan can
    // judge it (mayEnterLinkedFolder). Only such entries cost the listing a realpath.
    std::optional<LinkedFolder> link;
};

// Held while a command changes files of one folder (see FileSystem::lockFolder); released when
// destroyed.
class FolderLock {
public:
    virtual ~FolderLock() = default;
};

// Reads the stamps of many files, one after another on one thread (FileSystem::stampReader).
class StampReader {
public:
    virtual ~StampReader() = default;
    // What FileSystem::fileStamp answers.
    virtual std::optional<FileStamp> stamp(std::string_view fileName) = 0;
};

// A file open for reading.
class InputFile {
public:
    virtual ~InputFile() = default;
    // Reads up to `size` bytes; 0 at the end of the file. Fails with an Error on a read error.
    virtual std::size_t read(char* buffer, std::size_t size) = 0;
    // The stamp of the file open here, as it is now (FileSystem::fileStamp without a lookup of
    // its name: after a rename over that name, still the stamp of the file read, whose change
    // time moves as it loses the name); std::nullopt where the file system can't tell (see
    // FileSystem::stampsOpenFiles).
    virtual std::optional<FileStamp> stamp() const { return std::nullopt; }
};

// A file's bytes, read-only, as they were when it was opened: a file replaced by a rename (as
// every writer here replaces files) leaves them as they were. (One cut short in place by another
// program while mapped would fault.) Safe to read from any thread.
class MappedFile {
public:
    virtual ~MappedFile() = default;
    virtual std::string_view bytes() const = 0;
};

// Bytes held in memory, as a MappedFile.
std::unique_ptr<MappedFile> heldBytes(std::string bytes);

// A new temporary file written piece by piece, for a writer whose file is too large to be held
// in memory: kept (on the disk, then renamed by the writer) or deleted when destroyed.
class TemporaryFile {
public:
    virtual ~TemporaryFile() = default;
    // Appends; fails with "Cannot create file "%s". %s" naming the file it stands in for.
    virtual void write(std::string_view bytes) = 0;
    // Puts what was written on the disk and returns the temporary file's name; it is then the
    // caller's. Fails as write does, leaving nothing behind.
    virtual std::string keep() = 0;
};

// The file system services the logic uses. Names are byte strings, "/" separated.
//
// One convention for errors: a call that fails throws pelmaro::Error with the message the user
// sees ("Cannot open file "%s". %s"); a call that asks a question returns its answer, and
// std::nullopt where there is none.
//
// Threads: the reader's long work (building, opening, saving, searching, bookmark writes) calls
// an implementation from a worker thread while the window's thread goes on calling it, so every
// call must be safe from any thread at any time (the real file system keeps no state; a fake
// guards what it records). Each InputFile is used by one thread at a time. threadSafeReads()
// says more: a build may read many pages at once on a pool of threads.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // True when the reading calls may run on several threads at once (see above).
    virtual bool threadSafeReads() const { return false; }
    // True when every InputFile this file system opens tells its stamp (InputFile::stamp).
    virtual bool stampsOpenFiles() const { return false; }

    // Lists `folder` (with or without a trailing "/") in the order the system enumerates it,
    // without "." and "..". Fails with "Cannot open folder "%s". %s". A listing may give each
    // file's size (DirEntry::size) so that a scan need not ask for it file by file.
    virtual std::vector<DirEntry> listFolder(const std::string& folder) = 0;
    // The identity of a folder (links followed), as DirEntry gives it for subfolders: a scan
    // needs its starting folder's too.
    virtual std::optional<FolderId> folderIdentity(const std::string& /*folder*/) {
        return std::nullopt;
    }
    // The devices (DirEntry::device) of the mounted file systems that show the system's own
    // state rather than files (/proc, /sys, /dev and the like): a scan never enters them,
    // however a link leads there.
    virtual std::set<std::uint64_t> systemStateDevices() { return {}; }
    // The real path of a file or folder: no links, no "." or "..", no trailing "/" ("/" aside)
    // ("/usr/share/doc/x" -> "/usr/share/doc/x-2.1" through a link); std::nullopt when there is
    // none.
    virtual std::optional<std::string> realPath(const std::string& /*name*/) {
        return std::nullopt;
    }
    // The real path of the user's home folder ($HOME, else the account's), which no link of a
    // scanned folder may lead into.
    virtual std::optional<std::string> homeFolder() { return std::nullopt; }
    // The size of a regular file that can be opened for reading.
    virtual std::optional<std::int64_t> fileSize(const std::string& fileName) = 0;
    // The stamp of a regular file (links followed); std::nullopt when there is none, or when
    // this file system can't tell (then nothing vouches for the file's content).
    virtual std::optional<FileStamp> fileStamp(const std::string& /*fileName*/) {
        return std::nullopt;
    }
    // For the stamps of many files, a folder's files mostly one after another (the catalogue of a
    // tree whose titles follow its files): the real file system then looks each folder up once,
    // not once a file, which takes 40% off the time of a million stamps. The default asks
    // fileStamp.
    virtual std::unique_ptr<StampReader> stampReader();
    // Opens a file for reading; fails with "Cannot open file "%s". %s".
    virtual std::unique_ptr<InputFile> openForReading(const std::string& fileName) = 0;
    // The whole file's bytes without reading them all: mapped into memory where the system can,
    // so that a large file costs only the pages looked at. Fails as openForReading does. The
    // default reads the file whole.
    virtual std::unique_ptr<MappedFile> mapForReading(const std::string& fileName);
    // A watch of the files in `folders` (links followed); nullptr where this file system has
    // none, or can't watch that many.
    virtual std::unique_ptr<FolderWatch> watchFolders(const std::vector<std::string>& /*folders*/) {
        return nullptr;
    }
    // The name itself is a symbolic link (to a file or a folder).
    virtual bool isSymbolicLink(const std::string& /*name*/) { return false; }
    // The names in a folder that are symbolic links, from one listing of it: cheaper than
    // isSymbolicLink of each name when most of them are asked. std::nullopt when it can't be
    // listed, or the file system can't tell this way.
    virtual std::optional<std::vector<std::string>> symbolicLinksIn(const std::string& /*folder*/) {
        return std::nullopt;
    }
    // A regular file (links followed) exists under that name.
    virtual bool fileExists(const std::string& fileName) = 0;
    // Replaces the file's content with `bytes`: written to a temporary file in the same folder,
    // then renamed over the old one, so a failure never leaves a truncated file. A link stays a
    // link: its target is replaced. Fails with "Cannot create file "%s". %s".
    virtual void writeFile(const std::string& fileName, std::string_view bytes) = 0;
    // Creates the folder and every missing one above it; folders already there are no failure.
    // Fails with "Cannot create folder "%s". %s".
    virtual void makeFolders(const std::string& folder) = 0;
    // Deletes the file; a file that is not there is no failure. Fails with
    // "Cannot delete file "%s". %s".
    virtual void removeFile(const std::string& fileName) = 0;

    // The steps of writeFile, for a writer that replaces several files as one: writes `bytes` to
    // a new temporary file beside `fileName`, on the disk when this returns, and returns its
    // name. Fails with "Cannot create file "%s". %s" naming `fileName`, leaving nothing behind.
    virtual std::string writeTemporary(const std::string& fileName, std::string_view bytes) = 0;
    // The same written piece by piece (see TemporaryFile). The default gathers the pieces and
    // calls writeTemporary when kept.
    virtual std::unique_ptr<TemporaryFile> createTemporary(const std::string& fileName);
    // Renames a file of a folder to another name in the same folder, replacing that file. Fails
    // with "Cannot create file "%s". %s" naming `to`.
    virtual void renameFile(const std::string& from, const std::string& to) = 0;
    // Makes the renames and removals done so far in `folder` last through a crash. Fails with
    // "Cannot write folder "%s". %s".
    virtual void syncFolder(const std::string& folder) = 0;
    // The temporary files of `fileName` that writeTemporary or writeFile made and that are still
    // there: what a killed writer left.
    virtual std::vector<std::string> temporariesOf(const std::string& fileName) = 0;
    // Waits until no other holder (another window, pelmaro-cli) changes the files of `folder`,
    // and keeps them from doing so while the lock lives. Fails with
    // "Cannot lock folder "%s". %s" when it can't be had within a few seconds. A folder on a
    // file system without locks, or one that can't be opened, is not locked.
    virtual std::unique_ptr<FolderLock> lockFolder(const std::string& folder) = 0;
    // The same without waiting: nullptr while another holds the lock.
    virtual std::unique_ptr<FolderLock> tryLockFolder(const std::string& folder) = 0;
};

// The real file system. Stateless, so its reads are safe on any thread; its listing gives sizes.
class PosixFileSystem final : public FileSystem {
public:
    bool threadSafeReads() const override { return true; }
    bool stampsOpenFiles() const override { return true; }
    std::vector<DirEntry> listFolder(const std::string& folder) override;
    std::optional<FolderId> folderIdentity(const std::string& folder) override;
    std::set<std::uint64_t> systemStateDevices() override;
    std::optional<std::string> realPath(const std::string& name) override;
    std::optional<std::string> homeFolder() override;
    std::optional<std::int64_t> fileSize(const std::string& fileName) override;
    std::optional<FileStamp> fileStamp(const std::string& fileName) override;
    std::unique_ptr<StampReader> stampReader() override;
    std::unique_ptr<InputFile> openForReading(const std::string& fileName) override;
    std::unique_ptr<MappedFile> mapForReading(const std::string& fileName) override;
    std::unique_ptr<FolderWatch> watchFolders(const std::vector<std::string>& folders) override {
        return watchWithInotify(folders);
    }
    bool isSymbolicLink(const std::string& name) override;
    std::optional<std::vector<std::string>> symbolicLinksIn(const std::string& folder) override;
    bool fileExists(const std::string& fileName) override;
    void writeFile(const std::string& fileName, std::string_view bytes) override;
    void makeFolders(const std::string& folder) override;
    void removeFile(const std::string& fileName) override;
    std::string writeTemporary(const std::string& fileName, std::string_view bytes) override;
    std::unique_ptr<TemporaryFile> createTemporary(const std::string& fileName) override;
    void renameFile(const std::string& from, const std::string& to) override;
    void syncFolder(const std::string& folder) override;
    std::vector<std::string> temporariesOf(const std::string& fileName) override;
    std::unique_ptr<FolderLock> lockFolder(const std::string& folder) override;
    std::unique_ptr<FolderLock> tryLockFolder(const std::string& folder) override;
};

// The one rule for the folder part of a file name, without its trailing "/":
// "/x/a.title" -> "/x", "/a.title" -> "/"; "." for a name without a folder.
std::string folderOf(const std::string& fileName);
// The same without a copy: a view into `fileName`, or of "." or "/".
std::string_view folderPart(std::string_view fileName);
// The name of `name` in `folder`, with one "/" between them, also for "/" and for a folder
// given with its trailing "/": ("/x", "a") -> "/x/a", ("/", "a") -> "/a", ("/x/", "a") -> "/x/a".
std::string childName(const std::string& folder, const std::string& name);

// A regular file open for reading, and its size when it was opened; closed when destroyed.
class RegularFile {
public:
    RegularFile(int descriptor, std::int64_t size) : fd_(descriptor), size_(size) {}
    ~RegularFile();
    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;

    int descriptor() const { return fd_; }
    std::int64_t size() const { return size_; }
    // Hands the descriptor to a new owner, which closes it.
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
    std::int64_t size_;
};

// Opens a regular file (links followed) for reading without blocking on a FIFO; the descriptor
// keeps O_NONBLOCK, which reads from a regular file ignore. Fails with "Cannot open file "%s". %s"
// keeping errno in Error::systemError (EISDIR for a folder), and with "Cannot open file "%s". It
// is not a regular file" (EINVAL) for anything else that is not a regular file.
RegularFile openRegularFile(const std::string& fileName);

// Reads the whole file; fails as openForReading and read do.
std::string readWholeFile(FileSystem& files, const std::string& fileName);

}  // namespace pelmaro::platform
