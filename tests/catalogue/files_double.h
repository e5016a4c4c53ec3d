#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "platform/error.h"
#include "platform/file_system.h"
#include "tests/support/forwarding_files.h"

namespace pelmaro::test {

// The real file system, with reads cut into pieces of at most `chunk` bytes (to prove that
// readers don't depend on where a read block ends), files that fail to open as if locked, and a
// hook that runs before each file is opened.
class FilesDouble final : public ForwardingFileSystem {
public:
    std::size_t chunk = 1 << 20;
    std::set<std::string> locked;
    // Files that exist only here, for reading: name -> content.
    std::map<std::string, std::string> inMemory;
    std::function<void(const std::string&)> beforeOpen;
    int opened = 0;
    std::size_t bytesRead = 0;

    bool listFolder(const std::string& folder, std::vector<platform::DirEntry>& entries) override {
        if (!real_.listFolder(folder, entries)) {
            return false;
        }
        // The scan then asks fileSize, which knows the locked files.
        for (auto& entry : entries) {
            entry.size.reset();
        }
        return true;
    }
    std::int64_t fileSize(const std::string& fileName) override {
        return locked.count(fileName) != 0 ? -1 : real_.fileSize(fileName);
    }
    std::unique_ptr<platform::InputFile> openForReading(const std::string& fileName) override {
        if (beforeOpen) {
            beforeOpen(fileName);
        }
        if (locked.count(fileName) != 0) {
            throwCannotOpen(fileName, EACCES);
        }
        ++opened;
        if (const auto found = inMemory.find(fileName); found != inMemory.end()) {
            return std::make_unique<Chunked>(std::make_unique<Memory>(found->second), chunk,
                                             bytesRead);
        }
        return std::make_unique<Chunked>(real_.openForReading(fileName), chunk, bytesRead);
    }

private:
    class Chunked final : public platform::InputFile {
    public:
        Chunked(std::unique_ptr<platform::InputFile> file, std::size_t chunk, std::size_t& total)
            : file_(std::move(file)), chunk_(chunk), total_(total) {}
        std::size_t read(char* buffer, std::size_t size) override {
            const std::size_t got = file_->read(buffer, std::min(size, chunk_));
            total_ += got;
            return got;
        }

    private:
        std::unique_ptr<platform::InputFile> file_;
        std::size_t chunk_;
        std::size_t& total_;
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
};

}  // namespace pelmaro::test
