#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/text_list.h"

namespace pelmaro {

// The catalogue as its folders hold it: a second way in beside the title list, whose order stays
// the catalogue's. Folders show by name and pages by their shown titles, in natural order
// (natural_order.h), a folder's index page first, then its folders, then its other pages. The
// tree starts at the deepest folder all pages share, so a stored catalogue that lists
// "/usr/share/doc/a/x.htm" and "/home/me/y.htm" starts at "/".
//
// Building it reads no file and no title: one pass over the paths, a few bytes an entry. A
// folder's children are put in order the first time they are asked for, which needs the titles
// of the pages in that folder only.
class ContentsTree {
public:
    // A page's node is its entry's index; a folder's node comes after all pages.
    using Node = std::uint32_t;

    explicit ContentsTree(const platform::TextList& paths);

    // The folder the tree starts at ("/x/docs", "/" for the disk's root), and its node.
    const std::string& rootFolder() const { return rootFolder_; }
    Node root() const { return pageCount_; }

    bool isFolder(Node node) const { return node >= pageCount_; }
    // A folder's own name ("library"); the root's is its whole name.
    std::string_view folderName(Node folder) const;
    // A folder's full name ("/x/docs/api").
    std::string folderPath(Node folder) const;
    // The folder that holds the node; the root is its own.
    Node parent(Node node) const;

    // The shown title of an entry, as the title list shows it.
    using TitleOf = std::function<std::string(std::uint32_t entry)>;
    // The folder's children in order; `titleOf` is asked for the titles of its pages the first
    // time only.
    const std::vector<Node>& children(Node folder, const TitleOf& titleOf);

private:
    struct Folder {
        std::string name;
        Node parent = 0;
        std::vector<Node> subfolders;
        std::vector<std::uint32_t> pages;
        std::int64_t indexPage = -1;  // its "index.html" or the like, first in catalogue order
        std::vector<Node> ordered;    // filled on the first children() call
        bool isOrdered = false;
    };

    Node folderNode(const std::string& name);

    std::uint32_t pageCount_ = 0;
    std::string rootFolder_;
    std::vector<Node> pageFolders_;  // by entry
    std::vector<Folder> folders_;    // by node - pageCount_
    std::unordered_map<std::string, Node> foldersByName_;
};

}  // namespace pelmaro
