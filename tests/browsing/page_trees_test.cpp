#include "browsing/page_trees.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace pelmaro::browsing {
namespace {

using test::TempDir;

constexpr char kSharedFile[] = "/usr/share/common-licenses/GPL-3";

// tree/ with its own files and links in, out and into a system folder; outside/ beside, in a
// folder only its owner can enter (as the user's own files are).
struct Layout {
    Layout() {
        dir.write("tree/a.htm", "a");
        dir.write("tree/sub/b.htm", "b");
        dir.write("outside/x.txt", "x");
        dir.write("tree-not/a.htm", "a");
        std::filesystem::create_symlink(dir / "tree/sub", dir / "tree/link-in");
        std::filesystem::create_symlink("../outside/x.txt", dir / "tree/link-out");
        std::filesystem::create_symlink(dir / "outside", dir / "tree/folder-out");
        std::filesystem::create_symlink(kSharedFile, dir / "tree/shared");
        std::filesystem::create_symlink("/usr/share/common-licenses", dir / "tree/shared-folder");
        std::filesystem::create_symlink("/", dir / "tree/root");
    }
    std::string full(const std::string& relative) const {
        return relative.empty() || relative.front() == '/' || relative.rfind("relative", 0) == 0
                   ? relative
                   : dir / relative;
    }
    TempDir dir;
};

TEST(PageTrees, FolderTreeHoldsWhatResolvesInsideOrIntoSystemFolders) {
    if (!std::filesystem::exists(kSharedFile)) {
        GTEST_SKIP() << "no " << kSharedFile;
    }
    const struct {
        const char* name;      // below the layout's folder, or full
        const char* expected;  // the same; empty: outside
    } cases[] = {
        {"tree/a.htm", "tree/a.htm"},
        {"tree/sub/../a.htm", "tree/a.htm"},
        {"tree/link-in/b.htm", "tree/sub/b.htm"},
        {"tree", "tree"},
        {"tree/../outside/x.txt", ""},
        {"outside/x.txt", ""},
        {"tree/link-out", ""},
        {"tree/folder-out/x.txt", ""},
        {"tree/missing.htm", ""},
        {"tree-not/a.htm", ""},
        {"tree/shared", kSharedFile},
        {"tree/shared-folder/GPL-3", kSharedFile},
        {kSharedFile, ""},  // a system file, but not through the tree
        {"tree/root/etc/shadow", ""},
        {"tree/root/proc/self/environ", ""},
        {"relative/a.htm", ""},
    };
    const Layout layout;
    const PageTree tree{layout.dir / "tree", layout.dir / "tree", {}};
    for (const auto& c : cases) {
        const std::string expected = layout.full(c.expected);
        EXPECT_EQ(fileOfTree(tree, layout.full(c.name), layout.dir / "home"),
                  expected.empty() ? std::nullopt : std::optional<std::string>(expected))
            << c.name;
    }
    EXPECT_EQ(fileOfTree(tree, std::string("/a.htm\0.txt", 11), ""), std::nullopt);
}

TEST(PageTrees, EntryOutsideTheCatalogueGetsATreeOfItsOneFile) {
    const Layout layout;
    const TempDir& dir = layout.dir;
    PageTrees trees;
    trees.setCatalogueFolder(dir / "tree/");
    const PageTrees::Place inCatalogue = trees.placeOf(dir / "tree/sub/b.htm");
    EXPECT_EQ(inCatalogue.fileName, dir / "tree/sub/b.htm");
    EXPECT_EQ(trees.placeOf(dir / "tree/a.htm").treeId, inCatalogue.treeId);
    EXPECT_EQ(trees.fileOf(inCatalogue.treeId, dir / "tree/a.htm"), dir / "tree/a.htm");
    EXPECT_EQ(trees.fileOf(inCatalogue.treeId, dir / "outside/x.txt"), std::nullopt);

    // An entry that links out is shown by its own name, and reads that one file only.
    std::filesystem::create_symlink(dir / "outside/x.txt", dir / "tree/x-link.txt");
    const PageTrees::Place linked = trees.placeOf(dir / "tree/link-out");
    EXPECT_NE(linked.treeId, inCatalogue.treeId);
    EXPECT_EQ(linked.fileName, dir / "tree/link-out");
    EXPECT_EQ(trees.fileOf(linked.treeId, dir / "tree/link-out"), dir / "outside/x.txt");
    EXPECT_EQ(trees.fileOf(linked.treeId, dir / "outside/x.txt"), dir / "outside/x.txt");
    EXPECT_EQ(trees.fileOf(linked.treeId, dir / "tree/a.htm"), std::nullopt);
    EXPECT_EQ(trees.placeOf(dir / "tree/x-link.txt").treeId, linked.treeId);

    // A file elsewhere, as a stored catalogue may list it ("/etc/passwd").
    const PageTrees::Place outside = trees.placeOf(dir / "outside/x.txt");
    EXPECT_EQ(outside.treeId, linked.treeId);
    dir.write("outside/y.txt", "y");
    EXPECT_EQ(trees.fileOf(outside.treeId, dir / "outside/y.txt"), std::nullopt);

    // Without a catalogue, every page is alone; a tree handed out before keeps its files.
    trees.setCatalogueFolder("");
    const PageTrees::Place alone = trees.placeOf(dir / "tree/sub/b.htm");
    EXPECT_NE(alone.treeId, inCatalogue.treeId);
    EXPECT_EQ(trees.fileOf(alone.treeId, dir / "tree/a.htm"), std::nullopt);
    EXPECT_EQ(trees.fileOf(inCatalogue.treeId, dir / "tree/a.htm"), dir / "tree/a.htm");
    EXPECT_FALSE(trees.knows("tree99"));
    EXPECT_EQ(trees.fileOf("tree99", dir / "tree/a.htm"), std::nullopt);
}

}  // namespace
}  // namespace pelmaro::browsing
