#include "reader/path_index.h"

#include <gtest/gtest.h>

namespace pelmaro {
namespace {

TEST(PathIndex, FindsTheFirstEntryOfAFileByItsExactBytes) {
    const std::vector<std::string> paths = {"/h/a.htm", "/h/b.htm", "/h/caf\xe9.htm", "/h/a.htm",
                                            "/h/B.htm"};
    const PathIndex index(paths);
    struct Case {
        const char* fileName;
        int entry;
    };
    const Case cases[] = {
        {"/h/a.htm", 0},        // listed twice: the first entry
        {"/h/B.htm", 4},        // case counts
        {"/h/caf\xe9.htm", 2},  // not UTF-8
        {"/h/c.htm", -1},       // not in the catalogue
        {"", -1},
        {"/h/a.htm#part", -1},  // the view reports files, never fragments
    };
    for (const Case& c : cases) {
        EXPECT_EQ(index.find(paths, c.fileName), c.entry) << c.fileName;
    }
}

TEST(PathIndex, NeverNamesAnEntryThatTheListDoesNotHold) {
    const PathIndex index(std::vector<std::string>{"/h/a.htm", "/h/b.htm"});
    EXPECT_EQ(index.find({"/h/a.htm"}, "/h/b.htm"), -1);  // the list got shorter
    EXPECT_EQ(index.find({"/h/x.htm", "/h/y.htm"}, "/h/b.htm"), -1);
    EXPECT_EQ(PathIndex().find({"/h/a.htm"}, "/h/a.htm"), -1);
}

}  // namespace
}  // namespace pelmaro
