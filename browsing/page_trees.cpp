#include "browsing/page_trees.h"

#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/file_system.h"
#include "platform/linked_folders.h"

namespace pelmaro::browsing {

std::string normalFileName(const std::string& fileName) {
    if (fileName.empty() || fileName.front() != '/' || fileName.find('\0') != std::string::npos) {
        return {};
    }
    std::vector<std::string> parts;
    std::size_t start = 1;
    while (start <= fileName.size()) {
        std::size_t end = fileName.find('/', start);
        if (end == std::string::npos) {
            end = fileName.size();
        }
        const std::string part = fileName.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string normal;
    for (const std::string& part : parts) {
        normal += '/';
        normal += part;
    }
    return normal.empty() ? std::string("/") : normal;
}

std::optional<std::string> resolvedFileName(const std::string& fileName) {
    if (fileName.empty() || fileName.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    // realpath only looks at names and links; it opens nothing, so a FIFO can't hold it.
    const std::unique_ptr<char, decltype(&std::free)> resolved(
        ::realpath(fileName.c_str(), nullptr), &std::free);
    if (!resolved) {
        return std::nullopt;
    }
    return std::string(resolved.get());
}

namespace {

// Whether a file the tree names resolves, through links, to a file the tree may read elsewhere:
// one that a build of the tree would have been led to (system documentation, readable by all).
bool readableThroughLink(const PageTree& tree, const std::string& resolved,
                         const std::string& home) {
    const std::string realFolder = platform::folderOf(resolved);
    struct stat file {};
    struct stat folder {};
    if (::stat(resolved.c_str(), &file) != 0 || ::stat(realFolder.c_str(), &folder) != 0) {
        return false;
    }
    const platform::LinkedFile target{
        resolved,
        static_cast<std::uint32_t>(file.st_mode),
        {realFolder, static_cast<std::uint32_t>(folder.st_uid),
         static_cast<std::uint32_t>(folder.st_mode), platform::everyoneReaches(realFolder)}};
    return platform::mayReadLinkedFile(tree.resolvedFolder, target, home);
}

}  // namespace

std::optional<std::string> fileOfTree(const PageTree& tree, const std::string& fileName,
                                      const std::string& home) {
    const std::string name = normalFileName(fileName);
    if (name.empty()) {
        return std::nullopt;
    }
    const std::optional<std::string> resolved = resolvedFileName(name);
    if (!resolved) {
        return std::nullopt;
    }
    if (!tree.onlyFile.empty()) {
        return *resolved == tree.onlyFile ? resolved : std::nullopt;
    }
    if (platform::isWithinFolder(*resolved, tree.resolvedFolder)) {
        return resolved;
    }
    if ((platform::isWithinFolder(name, tree.folder) ||
         platform::isWithinFolder(name, tree.resolvedFolder)) &&
        readableThroughLink(tree, *resolved, home)) {
        return resolved;
    }
    return std::nullopt;
}

PageTrees::PageTrees() : home_(platform::PosixFileSystem().homeFolder().value_or(std::string())) {}

void PageTrees::setCatalogueFolder(const std::string& folder) {
    const std::string name = normalFileName(folder);
    if (name.empty()) {
        catalogue_.reset();
        return;
    }
    catalogue_ = PageTree{name, resolvedFileName(name).value_or(std::string()), {}};
}

PageTrees::Place PageTrees::placeOf(const std::string& fileName) {
    const std::string name = normalFileName(fileName);
    if (catalogue_ && fileOfTree(*catalogue_, name, home_)) {
        return {idOf(*catalogue_), name};
    }
    // Shown by the name it was given, so that the title list follows it; what it resolves to
    // now is the one file its page may read. (A file that is not there reads nothing.)
    return {idOf(PageTree{{}, {}, resolvedFileName(name).value_or(name)}), name};
}

std::optional<std::string> PageTrees::fileOf(const std::string& treeId,
                                             const std::string& fileName) const {
    const auto tree = trees_.find(treeId);
    if (tree == trees_.end()) {
        return std::nullopt;
    }
    return fileOfTree(tree->second, fileName, home_);
}

std::string PageTrees::idOf(const PageTree& tree) {
    std::string key = tree.folder;
    key += '\0';
    key += tree.resolvedFolder;
    key += '\0';
    key += tree.onlyFile;
    const auto known = idsByTree_.find(key);
    if (known != idsByTree_.end()) {
        return known->second;
    }
    std::string id = (tree.onlyFile.empty() ? "tree" : "file") + std::to_string(trees_.size() + 1);
    trees_.emplace(id, tree);
    idsByTree_.emplace(std::move(key), id);
    return id;
}

}  // namespace pelmaro::browsing
