#pragma once

#include "platform/file_system.h"

namespace pelmaro::test {

// The real file system, call for call: the base of the tests' file systems, which override only
// the calls they change.
class ForwardingFileSystem : public platform::FileSystem {
public:
    bool threadSafeReads() const override { return false; }
    bool listFolder(const std::string& folder, std::vector<platform::DirEntry>& entries) override {
        return real_.listFolder(folder, entries);
    }
    bool folderIdentity(const std::string& folder, std::uint64_t& device,
                        std::uint64_t& inode) override {
        return real_.folderIdentity(folder, device, inode);
    }
    std::set<std::uint64_t> systemStateDevices() override { return real_.systemStateDevices(); }
    std::int64_t fileSize(const std::string& fileName) override { return real_.fileSize(fileName); }
    std::unique_ptr<platform::InputFile> openForReading(const std::string& fileName) override {
        return real_.openForReading(fileName);
    }
    bool fileExists(const std::string& fileName) override { return real_.fileExists(fileName); }
    void writeFile(const std::string& fileName, std::string_view bytes) override {
        real_.writeFile(fileName, bytes);
    }
    bool removeFile(const std::string& fileName) override { return real_.removeFile(fileName); }
    std::string writeTemporary(const std::string& fileName, std::string_view bytes) override {
        return real_.writeTemporary(fileName, bytes);
    }
    void renameFile(const std::string& from, const std::string& to) override {
        real_.renameFile(from, to);
    }
    void syncFolder(const std::string& folder) override { real_.syncFolder(folder); }
    std::vector<std::string> temporariesOf(const std::string& fileName) override {
        return real_.temporariesOf(fileName);
    }
    std::unique_ptr<platform::FolderLock> lockFolder(const std::string& folder) override {
        return real_.lockFolder(folder);
    }

protected:
    platform::PosixFileSystem real_;
};

}  // namespace pelmaro::test
