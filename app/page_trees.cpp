#include "app/page_trees.h"

#include <cstdlib>
#include <memory>

#include "platform/file_system.h"

namespace pelmaro::app {

using platform::folderOf;

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

bool liesIn(const std::string& fileName, const std::string& folder) {
    if (folder.empty() || fileName.empty()) {
        return false;
    }
    if (folder == "/") {
        return fileName.front() == '/';
    }
    return fileName.compare(0, folder.size(), folder) == 0 &&
           (fileName.size() == folder.size() || fileName[folder.size()] == '/');
}

std::optional<std::string> fileOfTree(const PageTree& tree, const std::string& fileName) {
    const std::string name = normalFileName(fileName);
    if (name.empty()) {
        return std::nullopt;
    }
    const std::optional<std::string> resolved = resolvedFileName(name);
    if (!resolved) {
        return std::nullopt;
    }
    if (liesIn(*resolved, tree.resolvedFolder)) {
        return resolved;
    }
    if (liesIn(name, tree.folder) && liesIn(*resolved, kSharedSystemFolder)) {
        return resolved;
    }
    return std::nullopt;
}

void PageTrees::setCatalogueFolder(const std::string& folder) {
    const std::string name = normalFileName(folder);
    if (name.empty()) {
        catalogue_.reset();
        return;
    }
    catalogue_ = PageTree{name, resolvedFileName(name).value_or(std::string())};
}

PageTrees::Place PageTrees::placeOf(const std::string& fileName) {
    const std::string name = normalFileName(fileName);
    if (catalogue_ && fileOfTree(*catalogue_, name)) {
        return {idOf(*catalogue_), name};
    }
    const std::string folder = folderOf(name);
    const std::optional<std::string> resolvedFolder = resolvedFileName(folder);
    const std::optional<std::string> resolved = resolvedFileName(name);
    if (!resolved || (resolvedFolder && folderOf(*resolved) == *resolvedFolder)) {
        // A file of its folder (or none at all): it is shown by the name it was given.
        return {idOf(PageTree{folder, resolvedFolder.value_or(std::string())}), name};
    }
    // A link to a file elsewhere: the page is shown where it really is, among its neighbours.
    const std::string realFolder = folderOf(*resolved);
    return {idOf(PageTree{realFolder, realFolder}), *resolved};
}

std::optional<std::string> PageTrees::fileOf(const std::string& treeId,
                                             const std::string& fileName) const {
    const auto tree = trees_.find(treeId);
    if (tree == trees_.end()) {
        return std::nullopt;
    }
    return fileOfTree(tree->second, fileName);
}

std::string PageTrees::idOf(const PageTree& tree) {
    std::string key = tree.folder;
    key += '\0';
    key += tree.resolvedFolder;
    const auto known = idsByFolder_.find(key);
    if (known != idsByFolder_.end()) {
        return known->second;
    }
    std::string id = "tree" + std::to_string(trees_.size() + 1);
    trees_.emplace(id, tree);
    idsByFolder_.emplace(std::move(key), id);
    return id;
}

}  // namespace pelmaro::app
