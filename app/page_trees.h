#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

// Which files a page may read. Every page belongs to one folder tree and reads only files of that
// tree: the folder the catalogue was built from for the catalogue's pages, its own folder (and
// below) for a page outside any catalogue. Each tree is told apart by an id that the page view
// makes the host of its URLs, so that each tree is an origin of its own.
namespace pelmaro::app {

// "/a/./b//c/../d" -> "/a/b/d"; "" for a name that is not "/"-rooted or holds a NUL byte.
std::string normalFileName(const std::string& fileName);
// The file or folder with every symbolic link and "."/".." resolved; nullopt when it does not
// exist. Nothing is opened.
std::optional<std::string> resolvedFileName(const std::string& fileName);
// `fileName` is `folder` or lies below it (both normal names).
bool liesIn(const std::string& fileName, const std::string& folder);

// Where the distribution keeps the shared files its packages' pages link to (Debian's
// /usr/share/javascript for jQuery and friends, the documentation packages' trees), readable by
// everybody and holding nothing of the user's.
inline constexpr char kSharedSystemFolder[] = "/usr/share";

// One tree: the folder as named and with its links resolved.
struct PageTree {
    std::string folder;          // normal
    std::string resolvedFolder;  // empty when the folder does not exist
};

// A file of a tree: what it resolves to (links followed) lies in the tree's resolved folder; or
// the name lies in the tree as named and resolves into the shared system folder (a
// documentation tree that links to the distribution's copy of a library, or lies there itself
// behind a link). Anything else is outside, a link inside the tree that points out of it
// included.
std::optional<std::string> fileOfTree(const PageTree& tree, const std::string& fileName);

// The trees a page view has handed out, each with its id.
class PageTrees {
public:
    // The catalogue's folder; empty when there is none.
    void setCatalogueFolder(const std::string& folder);

    // Where a page the user opens from the catalogue (the list, a bookmark, a result) goes: the
    // catalogue's tree when the file is one of its files, else the tree of the folder that
    // really holds the file. The user may open any file; the pages it loads come from its tree.
    struct Place {
        std::string treeId;
        std::string fileName;  // the name to show it by (the resolved one for a page of its own
                               // folder, so that its neighbours resolve in its tree)
    };
    Place placeOf(const std::string& fileName);

    // The file `fileName` names in the tree with that id, resolved, when the tree holds it.
    std::optional<std::string> fileOf(const std::string& treeId, const std::string& fileName) const;
    bool knows(const std::string& treeId) const { return trees_.count(treeId) != 0; }

private:
    std::string idOf(const PageTree& tree);

    std::optional<PageTree> catalogue_;
    std::map<std::string, PageTree> trees_;           // by id
    std::map<std::string, std::string> idsByFolder_;  // folder '\0' resolved folder -> id
};

}  // namespace pelmaro::app
