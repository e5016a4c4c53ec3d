#include "catalogue/contents_tree.h"

#include <algorithm>

#include "catalogue/natural_order.h"
#include "platform/byte_text.h"
#include "platform/file_system.h"
#include "platform/linked_folders.h"

namespace pelmaro {

namespace {

// `name` is `folder` or lies below it; "" is the top of every name.
bool liesIn(std::string_view name, std::string_view folder) {
    return folder.empty() || platform::isWithinFolder(name, folder);
}

// "index.html", "INDEX.HTM", "index.shtml": the page a folder opens with.
bool isIndexPage(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    const std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = file.find('.');
    return dot != std::string_view::npos && lowerAZ(file.substr(0, dot)) == "index";
}

}  // namespace

ContentsTree::ContentsTree(const platform::TextList& paths)
    : pageCount_(static_cast<std::uint32_t>(paths.size())) {
    // The deepest folder every page lies in. Most pages lie in it already: only the others cost
    // a copy.
    bool first = true;
    for (const std::string_view path : paths) {
        if (!first && liesIn(path, rootFolder_) && path.size() > rootFolder_.size()) {
            continue;
        }
        const std::string folder = platform::folderOf(std::string(path));
        if (first) {
            rootFolder_ = folder;
            first = false;
        }
        while (!liesIn(folder, rootFolder_)) {
            const std::string up = platform::folderOf(rootFolder_);
            rootFolder_ = up == rootFolder_ ? std::string() : up;  // "" holds everything
            if (rootFolder_.empty()) {
                break;
            }
        }
    }
    folders_.push_back(Folder{rootFolder_, root(), {}, {}, -1, {}, false});
    foldersByName_.emplace(rootFolder_, root());
    pageFolders_.reserve(pageCount_);
    std::uint32_t entry = 0;
    std::string folderName;
    for (const std::string_view path : paths) {
        folderName.assign(platform::folderPart(path));
        const Node folder = folderNode(folderName);
        Folder& holder = folders_[folder - pageCount_];
        if (holder.indexPage < 0 && isIndexPage(path)) {
            holder.indexPage = entry;
        } else {
            holder.pages.push_back(entry);
        }
        pageFolders_.push_back(folder);
        ++entry;
    }
}

ContentsTree::Node ContentsTree::folderNode(const std::string& name) {
    if (const auto known = foldersByName_.find(name); known != foldersByName_.end()) {
        return known->second;
    }
    // The folders between the root and this one that the tree doesn't have yet, deepest first.
    std::vector<std::string> missing{name};
    Node parent = root();
    for (;;) {
        const std::string up = platform::folderOf(missing.back());
        if (up == missing.back() || !liesIn(up, rootFolder_) || up.size() <= rootFolder_.size()) {
            break;
        }
        if (const auto known = foldersByName_.find(up); known != foldersByName_.end()) {
            parent = known->second;
            break;
        }
        missing.push_back(up);
    }
    Node node = parent;
    for (auto name = missing.rbegin(); name != missing.rend(); ++name) {
        const std::size_t slash = name->rfind('/');
        node = pageCount_ + static_cast<Node>(folders_.size());
        folders_.push_back(Folder{slash == std::string::npos ? *name : name->substr(slash + 1),
                                  parent,
                                  {},
                                  {},
                                  -1,
                                  {},
                                  false});
        folders_[parent - pageCount_].subfolders.push_back(node);
        foldersByName_.emplace(*name, node);
        parent = node;
    }
    return node;
}

std::string_view ContentsTree::folderName(Node folder) const {
    return folders_[folder - pageCount_].name;
}

std::string ContentsTree::folderPath(Node folder) const {
    std::vector<std::string_view> names;
    for (; folder != root(); folder = folders_[folder - pageCount_].parent) {
        names.push_back(folders_[folder - pageCount_].name);
    }
    std::string path = rootFolder_;
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        if (path.empty() || path.back() != '/') {
            path += '/';
        }
        path += *name;
    }
    return path;
}

ContentsTree::Node ContentsTree::parent(Node node) const {
    return isFolder(node) ? folders_[node - pageCount_].parent : pageFolders_[node];
}

const std::vector<ContentsTree::Node>& ContentsTree::children(Node folder, const TitleOf& titleOf) {
    Folder& own = folders_[folder - pageCount_];
    if (own.isOrdered) {
        return own.ordered;
    }
    std::vector<Node> subfolders = own.subfolders;
    std::stable_sort(subfolders.begin(), subfolders.end(), [&](Node a, Node b) {
        return naturallyBefore(folders_[a - pageCount_].name, folders_[b - pageCount_].name);
    });
    std::vector<std::pair<std::string, std::uint32_t>> pages;
    pages.reserve(own.pages.size());
    for (const std::uint32_t entry : own.pages) {
        pages.emplace_back(titleOf(entry), entry);
    }
    std::stable_sort(pages.begin(), pages.end(), [](const auto& a, const auto& b) {
        return naturallyBefore(a.first, b.first);
    });
    own.ordered.clear();
    own.ordered.reserve(subfolders.size() + pages.size() + 1);
    if (own.indexPage >= 0) {
        own.ordered.push_back(static_cast<Node>(own.indexPage));
    }
    own.ordered.insert(own.ordered.end(), subfolders.begin(), subfolders.end());
    for (const auto& page : pages) {
        own.ordered.push_back(page.second);
    }
    own.isOrdered = true;
    return own.ordered;
}

}  // namespace pelmaro
