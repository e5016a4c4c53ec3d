#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>

// Which files a page may read. Every page belongs to one tree and reads only files of that tree:
// - the catalogue's tree, for an entry whose file really lies in it: the folder the catalogue was
//   built from (or is stored in), with links resolved, and the system folders its build may enter
//   through links (documentation packages link their scripts and whole trees into each other);
// - a tree of one file, for any other entry (a link to a file elsewhere, a stored catalogue that
//   lists "/etc/passwd"): the page shows, and reads nothing else, like a browser's file: page.
// Each tree is told apart by an id that the page view makes the host of its URLs, so that each
// tree is an origin of its own.
namespace pelmaro::browsing {

// "/a/./b//c/../d" -> "/a/b/d"; "" for a name that is not "/"-rooted or holds a NUL byte.
std::string normalFileName(const std::string& fileName);
// The file or folder with every symbolic link and "."/".." resolved; nullopt when it does not
// exist. Nothing is opened.
std::optional<std::string> resolvedFileName(const std::string& fileName);

// One tree: a folder as named and with its links resolved, or a single file.
struct PageTree {
    std::string folder;          // normal; empty for a tree of one file
    std::string resolvedFolder;  // empty when the folder does not exist
    std::string onlyFile;        // resolved; set for a tree of one file
};

// The file `fileName` names in the tree, resolved, when the tree holds it: in a folder's tree, it
// resolves into the folder, or its name lies in the folder and it resolves through links into a
// system folder a build may enter (see mayReadLinkedFile); in a one-file tree, it resolves to that
// file. Anything else is outside: "..", a link inside the tree that points into the user's home.
// `home` is the real path of the user's home ("" when unknown).
std::optional<std::string> fileOfTree(const PageTree& tree, const std::string& fileName,
                                      const std::string& home);

// The trees a page view has handed out, each with its id.
class PageTrees {
public:
    // For the user whose home folder has that real path; by default the user running the reader.
    PageTrees();
    explicit PageTrees(std::string home) : home_(std::move(home)) {}

    // The catalogue's folder; empty when there is none. Trees handed out before stay as they are.
    void setCatalogueFolder(const std::string& folder);

    // Where a page the user opens from the catalogue (the list, a bookmark, a result) goes: the
    // catalogue's tree when the file is one of its files, else a tree of that one file. The user
    // may open any entry; what its page loads comes from its tree.
    struct Place {
        std::string treeId;
        std::string fileName;  // normal
    };
    Place placeOf(const std::string& fileName);

    // The file `fileName` names in the tree with that id, resolved, when the tree holds it.
    std::optional<std::string> fileOf(const std::string& treeId, const std::string& fileName) const;
    bool knows(const std::string& treeId) const { return trees_.count(treeId) != 0; }

private:
    std::string idOf(const PageTree& tree);

    std::string home_;
    std::optional<PageTree> catalogue_;
    std::map<std::string, PageTree> trees_;         // by id
    std::map<std::string, std::string> idsByTree_;  // folder '\0' resolved '\0' file -> id
};

}  // namespace pelmaro::browsing
