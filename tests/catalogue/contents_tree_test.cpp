#include "catalogue/contents_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pelmaro {
namespace {

using Lines = std::vector<std::string>;

struct Shown {
    explicit Shown(const Lines& paths, Lines titles) : titles(std::move(titles)) {
        for (const std::string& path : paths) {
            list.push_back(path);
        }
    }
    // The tree, a line a node, indented by depth: folders by name, pages by title.
    Lines lines() {
        ContentsTree tree(list);
        Lines out{tree.rootFolder()};
        walk(tree, tree.root(), "  ", out);
        return out;
    }
    void walk(ContentsTree& tree, ContentsTree::Node folder, const std::string& indent,
              Lines& out) {
        for (const ContentsTree::Node node : tree.children(folder, titleOf())) {
            EXPECT_EQ(tree.parent(node), folder);
            if (tree.isFolder(node)) {
                out.push_back(indent + std::string(tree.folderName(node)) + "/");
                walk(tree, node, indent + "  ", out);
            } else {
                out.push_back(indent + titles[node]);
            }
        }
    }
    ContentsTree::TitleOf titleOf() {
        return [this](std::uint32_t entry) {
            ++asked;
            return titles[entry];
        };
    }
    platform::TextList list;
    Lines titles;
    int asked = 0;
};

TEST(ContentsTree, FoldersByNamePagesByTitleInNaturalOrderIndexFirst) {
    Shown shown({"/d/doc/b.htm", "/d/doc/ch10/a.htm", "/d/doc/index.html", "/d/doc/ch2/x.htm",
                 "/d/doc/ch2/deep/y.htm", "/d/doc/a.htm", "/d/doc/ch10/index.htm"},
                {"Beta", "10.1 Types", "Contents", "2.1 Start", "Deep", "\xc3\xa9t\xc3\xa9",
                 "10. Reference"});
    EXPECT_EQ(shown.lines(), (Lines{"/d/doc", "  Contents", "  ch2/", "    deep/", "      Deep",
                                    "    2.1 Start", "  ch10/", "    10. Reference",
                                    "    10.1 Types", "  Beta", "  \xc3\xa9t\xc3\xa9"}));
}

TEST(ContentsTree, StartsAtTheDeepestFolderThePagesShare) {
    EXPECT_EQ(Shown({"/usr/share/doc/a/x.htm", "/home/me/y.htm"}, {"X", "Y"}).lines(),
              (Lines{"/", "  home/", "    me/", "      Y", "  usr/", "    share/", "      doc/",
                     "        a/", "          X"}));
    EXPECT_EQ(Shown({"/a/bc/x.htm", "/a/b/y.htm"}, {"X", "Y"}).lines(),
              (Lines{"/a", "  b/", "    Y", "  bc/", "    X"}));
    EXPECT_EQ(Shown({"/a/x.htm"}, {"X"}).lines(), (Lines{"/a", "  X"}));
    Shown deep({"/d/a/b/x.htm", "/x.htm"}, {"X", "Y"});
    ContentsTree tree(deep.list);
    const ContentsTree::Node d = tree.children(tree.root(), deep.titleOf()).front();
    const ContentsTree::Node a = tree.children(d, deep.titleOf()).front();
    EXPECT_EQ(tree.folderPath(a), "/d/a");
    EXPECT_EQ(tree.folderPath(tree.root()), "/");
    EXPECT_EQ(Shown({}, {}).lines(), (Lines{""}));
}

TEST(ContentsTree, ReadsTitlesOnlyForTheFoldersOpened) {
    Shown shown({"/d/a/1.htm", "/d/a/2.htm", "/d/b/3.htm"}, {"One", "Two", "Three"});
    ContentsTree tree(shown.list);
    const std::vector<ContentsTree::Node> top = tree.children(tree.root(), shown.titleOf());
    EXPECT_EQ(shown.asked, 0);
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(tree.children(top[0], shown.titleOf()).size(), 2u);
    EXPECT_EQ(shown.asked, 2);
    tree.children(top[0], shown.titleOf());
    EXPECT_EQ(shown.asked, 2);
}

}  // namespace
}  // namespace pelmaro
