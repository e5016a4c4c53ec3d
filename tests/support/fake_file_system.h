#pragma once

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/error.h"
#include "platform/file_system.h"

namespace pelmaro::test {

// The real file system with faults on demand: reads cut into pieces of at most `chunk` bytes (to
// prove that readers don't depend on where a read block ends), files that fail to open as if
// locked, reads and writes that fail as a full or broken disk would, files that exist only in
// memory, and a hook before each open. Set it up before use; its reads are then safe on worker
// threads as the real ones are (unless `threaded` is false).
class FakeFileSystem final : public platform::FileSystem {
public:
    std::size_t chunk = 1 << 20;
    // Open fails as for a file locked by another program; the scan's size check fails too.
    std::set<std::string> locked;
    // Opens, then every read fails as a disk error would.
    std::set<std::string> failingReads;
    // Opening throws something that is not an Error: a fault in the program, not in the file.
    std::set<std::string> crashing;
    // Writing, deleting or creating these (files or folders) fails as a full disk would.
    std::set<std::string> failingWrites;
    // Files written in these folders fail as in a folder the user may not write.
    std::set<std::string> readOnlyFolders;
    // Files that exist only here, for reading: name -> content.
    std::map<std::string, std::string> inMemory;
    std::function<void(const std::string&)> beforeOpen;
    // Each open waits this long, so that long work lasts long enough to be stopped halfway.
    std::chrono::milliseconds openDelay{0};
    // Listings tell no sizes, so a scan asks fileSize (which knows the locked files).
    bool listingsWithoutSizes = false;
    bool threaded = true;

    // Runs before every call that changes files (writeFile runs as its steps then: temporary,
    // rename, folder sync), with the name it changes: a test kills or fails a writer there.
    std::function<void(const std::string&)> beforeChange;

    std::atomic<int> opened{0};
    // fileStamp calls, but those of search index files (a build looks at its own).
    std::atomic<int> stamped{0};
    std::atomic<std::size_t> bytesRead{0};
    std::vector<std::string> written;

    bool threadSafeReads() const override { return threaded; }
    std::vector<platform::DirEntry> listFolder(const std::string& folder) override {
        auto entries = real_.listFolder(folder);
        if (listingsWithoutSizes) {
            for (auto& entry : entries) {
                entry.sizeListed = false;
                entry.size.reset();
            }
        }
        return entries;
    }
    std::optional<platform::FolderId> folderIdentity(const std::string& folder) override {
        return real_.folderIdentity(folder);
    }
    std::set<std::uint64_t> systemStateDevices() override { return real_.systemStateDevices(); }
    std::optional<std::string> realPath(const std::string& name) override {
        return real_.realPath(name);
    }
    std::optional<std::string> homeFolder() override { return real_.homeFolder(); }
    std::optional<platform::FileStamp> fileStamp(const std::string& fileName) override {
        if (!fileName.ends_with(".trigrams")) {
            ++stamped;
        }
        if (locked.count(fileName) != 0) {
            return std::nullopt;
        }
        return real_.fileStamp(fileName);
    }
    std::optional<std::int64_t> fileSize(const std::string& fileName) override {
        if (locked.count(fileName) != 0) {
            return std::nullopt;
        }
        return real_.fileSize(fileName);
    }
    std::unique_ptr<platform::InputFile> openForReading(const std::string& fileName) override {
        if (beforeOpen) {
            beforeOpen(fileName);
        }
        ++opened;
        if (openDelay.count() > 0) {
            std::this_thread::sleep_for(openDelay);
        }
        if (locked.count(fileName) != 0) {
            throwCannotOpen(fileName, EACCES);
        }
        if (crashing.count(fileName) != 0) {
            throw std::logic_error("unexpected");
        }
        std::unique_ptr<platform::InputFile> file;
        if (const auto found = inMemory.find(fileName); found != inMemory.end()) {
            file = std::make_unique<Memory>(found->second);
        } else {
            file = real_.openForReading(fileName);
        }
        if (failingReads.count(fileName) != 0) {
            return std::make_unique<Failing>(fileName);
        }
        return std::make_unique<Chunked>(std::move(file), chunk, bytesRead);
    }
    // Watches as the real one does, unless told there is no watch to be had.
    bool watches = true;
    std::unique_ptr<platform::FolderWatch> watchFolders(
        const std::vector<std::string>& folders) override {
        return watches ? real_.watchFolders(folders) : nullptr;
    }
    bool isSymbolicLink(const std::string& name) override { return real_.isSymbolicLink(name); }
    std::optional<std::vector<std::string>> symbolicLinksIn(const std::string& folder) override {
        return real_.symbolicLinksIn(folder);
    }
    std::unique_ptr<platform::MappedFile> mapForReading(const std::string& fileName) override {
        if (beforeOpen) {
            beforeOpen(fileName);
        }
        ++opened;
        if (locked.count(fileName) != 0) {
            throwCannotOpen(fileName, EACCES);
        }
        if (failingReads.count(fileName) != 0) {
            throw Error("Cannot read file \"" + fileName + "\". " + systemMessage(EIO));
        }
        if (const auto found = inMemory.find(fileName); found != inMemory.end()) {
            return platform::heldBytes(found->second);
        }
        return real_.mapForReading(fileName);
    }
    bool fileExists(const std::string& fileName) override {
        return inMemory.count(fileName) != 0 || real_.fileExists(fileName);
    }
    void writeFile(const std::string& fileName, std::string_view bytes) override {
        refuseWrite(fileName);
        {
            const std::lock_guard lock(writtenMutex_);  // workers write too
            written.push_back(fileName);
        }
        if (beforeChange) {
            const std::string temporary = writeTemporary(fileName, bytes);
            renameFile(temporary, fileName);
            syncFolder(platform::folderOf(fileName));
            return;
        }
        real_.writeFile(fileName, bytes);
    }
    std::string writeTemporary(const std::string& fileName, std::string_view bytes) override {
        changing(fileName);
        refuseWrite(fileName);
        return real_.writeTemporary(fileName, bytes);
    }
    std::unique_ptr<platform::TemporaryFile> createTemporary(const std::string& fileName) override {
        changing(fileName);
        refuseWrite(fileName);
        return real_.createTemporary(fileName);
    }
    void renameFile(const std::string& from, const std::string& to) override {
        changing(to);
        real_.renameFile(from, to);
    }
    void syncFolder(const std::string& folder) override {
        changing(folder);
        real_.syncFolder(folder);
    }
    std::vector<std::string> temporariesOf(const std::string& fileName) override {
        return real_.temporariesOf(fileName);
    }
    std::unique_ptr<platform::FolderLock> lockFolder(const std::string& folder) override {
        return real_.lockFolder(folder);
    }
    std::unique_ptr<platform::FolderLock> tryLockFolder(const std::string& folder) override {
        return real_.tryLockFolder(folder);
    }
    void makeFolders(const std::string& folder) override {
        if (failingWrites.count(folder) != 0) {
            throw Error("Cannot create folder \"" + folder + "\". " + systemMessage(EROFS));
        }
        real_.makeFolders(folder);
    }
    void removeFile(const std::string& fileName) override {
        if (failingWrites.count(fileName) != 0) {
            throw Error("Cannot delete file \"" + fileName + "\". " + systemMessage(EROFS));
        }
        changing(fileName);
        real_.removeFile(fileName);
    }

private:
    std::mutex writtenMutex_;
    void refuseWrite(const std::string& fileName) {
        if (readOnlyFolders.count(platform::folderOf(fileName)) != 0) {
            throwCannotCreate(fileName, EACCES);
        }
        if (failingWrites.count(fileName) != 0) {
            throwCannotCreate(fileName, ENOSPC);
        }
    }
    void changing(const std::string& name) {
        if (beforeChange) {
            beforeChange(name);
        }
    }

    class Chunked final : public platform::InputFile {
    public:
        Chunked(std::unique_ptr<platform::InputFile> file, std::size_t chunk,
                std::atomic<std::size_t>& total)
            : file_(std::move(file)), chunk_(chunk), total_(total) {}
        std::size_t read(char* buffer, std::size_t size) override {
            const std::size_t got = file_->read(buffer, std::min(size, chunk_));
            total_ += got;
            return got;
        }
        std::optional<platform::FileStamp> stamp() const override { return file_->stamp(); }

    private:
        std::unique_ptr<platform::InputFile> file_;
        std::size_t chunk_;
        std::atomic<std::size_t>& total_;
    };

    class Memory final : public platform::InputFile {
    public:
        explicit Memory(std::string_view bytes) : bytes_(bytes) {}
        std::size_t read(char* buffer, std::size_t size) override {
            const std::size_t got = std::min(size, bytes_.size());
            std::memcpy(buffer, bytes_.data(), got);
            bytes_.remove_prefix(got);
            return got;
        }

    private:
        std::string_view bytes_;
    };

    class Failing final : public platform::InputFile {
    public:
        explicit Failing(std::string name) : name_(std::move(name)) {}
        std::size_t read(char*, std::size_t) override {
            throw Error("Cannot read file \"" + name_ + "\". " + systemMessage(EIO));
        }

    private:
        std::string name_;
    };

    platform::PosixFileSystem real_;
};

}  // namespace pelmaro::test
