#include "catalogue/ignore_rules.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "catalogue/catalogue_builder.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

TEST(IgnoreRules, FollowTheSyntaxPeopleKnowFromGitignore) {
    const struct {
        const char* rules;
        const char* name;
        bool isFolder;
        bool ignored;
    } cases[] = {
        {"", "a.htm", false, false},
        {"# a.htm\n\n   \n", "a.htm", false, false},
        {"\\#a.htm", "#a.htm", false, true},
        {"a.htm", "a.htm", false, true},
        {"a.htm", "sub/deep/a.htm", false, true},
        {"a.htm", "a.html", false, false},
        {"*.txt", "_sources/x/intro.rst.txt", false, true},
        {"*.txt", "notes.txt.htm", false, false},
        {"_sources/", "_sources", true, true},
        {"_sources/", "_sources", false, false},
        {"_sources/", "lib/_sources", true, true},
        {"/drafts", "drafts", true, true},
        {"/drafts", "book/drafts", true, false},
        {"book/drafts", "book/drafts", true, true},
        {"book/drafts", "x/book/drafts", true, false},
        {"api/*/old", "api/v1/old", true, true},
        {"api/*/old", "api/v1/v2/old", true, false},
        {"api/**/old", "api/old", true, true},
        {"api/**/old", "api/v1/v2/old", true, true},
        {"**/old", "old", true, true},
        {"**/old", "a/b/old", true, true},
        {"api/**", "api", true, false},
        {"api/**", "api/x/y.htm", false, true},
        {"ch?.htm", "ch1.htm", false, true},
        {"ch?.htm", "ch10.htm", false, false},
        {"ch[0-4].htm", "ch3.htm", false, true},
        {"ch[0-4].htm", "ch5.htm", false, false},
        {"ch[!0-4].htm", "ch5.htm", false, true},
        {"[]]x", "]x", false, true},
        {"[ab", "[ab", false, true},
        {"a\\*", "a*", false, true},
        {"a\\*", "ab", false, false},
        {"trailing  ", "trailing", false, true},
        {"Case.htm", "case.htm", false, false},
        {"*.txt\n!keep.txt", "keep.txt", false, false},
        {"*.txt\n!keep.txt", "other.txt", false, true},
        {"!keep.txt\n*.txt", "keep.txt", false, true},
        {"*.htm\r\n!index.htm\r\n", "index.htm", false, false},
        {"/", "a.htm", false, false},
    };
    for (const auto& c : cases) {
        IgnoreRules rules;
        rules.addLines(c.rules);
        EXPECT_EQ(rules.ignores(c.name, c.isFolder), c.ignored)
            << "rules \"" << c.rules << "\", name \"" << c.name << "\"";
    }
}

TEST(IgnoreRules, HostilePatternsStayCheap) {
    // A folder's own ignore file is a stranger's text: no pattern takes exponential time.
    IgnoreRules rules;
    rules.addPattern(std::string(60, '*') + "a*a*a*a*a*a*a*a*a*a*a*a*b");
    rules.addPattern(std::string(40, '*') + "/**/**/**/**/**/**/**/**/x");
    const std::string name = std::string(2000, 'a') + "/" + std::string(2000, 'a');
    EXPECT_FALSE(rules.ignores(name, false));
}

}  // namespace
}  // namespace pelmaro

namespace pelmaro {
namespace {

std::string readText(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// "Leave this folder out" writes a line the builds then read, next to the user's own lines,
// and takes back only its own; a folder that can't be written keeps the line in the data folder.
TEST(LeaveFolderOut, WritesMarkedLinesBuildsReadAndBringBackRemovesOnlyThem) {
    test::TempDir dir;
    const std::string tree = dir / "tree";
    dir.write("tree/a.htm", "<title>A</title>");
    dir.write("tree/old api/b.htm", "<title>B</title>");
    dir.write("tree/x[1]/c.htm", "<title>C</title>");
    dir.write("tree/.pelmaroignore", "# mine\n*.bak");
    test::FakeFileSystem files;
    const auto built = [&] {
        IgnoreRules kept;
        addIgnoreFile(files, keptIgnoreFile(files, tree, dir / "data"), kept);
        return buildCatalogue(files, tree, {}, {}, kept).titles;
    };
    EXPECT_EQ(built().size(), 3u);

    leaveFolderOut(files, tree, "old api", dir / "data");
    leaveFolderOut(files, tree, "x[1]", dir / "data");
    EXPECT_EQ(built(), std::vector<std::string>{"A"});
    EXPECT_EQ(
        readText(tree + "/.pelmaroignore"),
        "# mine\n*.bak\n# left out in Pelmaro\n/old\\ api/\n# left out in Pelmaro\n/x\\[1]/\n");

    EXPECT_TRUE(bringBackFoldersLeftOut(files, tree, dir / "data"));
    EXPECT_EQ(readText(tree + "/.pelmaroignore"), "# mine\n*.bak\n");
    EXPECT_EQ(built().size(), 3u);
    EXPECT_FALSE(bringBackFoldersLeftOut(files, tree, dir / "data"));

    files.readOnlyFolders.insert(tree);
    leaveFolderOut(files, tree, "old api", dir / "data");
    EXPECT_EQ(readText(tree + "/.pelmaroignore"), "# mine\n*.bak\n");
    EXPECT_EQ(built().size(), 2u);
    EXPECT_TRUE(bringBackFoldersLeftOut(files, tree, dir / "data"));
    EXPECT_EQ(built().size(), 3u);
}

}  // namespace
}  // namespace pelmaro
