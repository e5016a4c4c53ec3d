#include "window_text/window_text.h"

#include <gtest/gtest.h>

namespace pelmaro::window_text {
namespace {

using Labels = std::vector<std::string>;

const Labels kMenu = {"Path", "Search", "New Search", "Bookmark", "New bookmark", "Delete Bookmark",
                      "Open", "Result", "Full search"};

Labels withLast(Labels labels, std::string last) {
    labels.back() = std::move(last);
    return labels;
}

TEST(PlaceAccessKeys, MarksTheFirstFreeLetter_andKeepsAMarkOnAFreeOne) {
    const Labels placedMenu = {"&Path",     "&Search",       "&New Search",
                               "&Bookmark", "N&ew bookmark", "&Delete Bookmark",
                               "&Open",     "&Result",       "&Full search"};
    const struct {
        const char* what;
        Labels labels;
        Labels expected;
    } cases[] = {
        {"the menu bar as built", kMenu, placedMenu},
        {"a mark already on a free letter stays", withLast(kMenu, "&Full search"), placedMenu},
        {"a mark on a taken letter moves on", withLast(kMenu, "&Stop search"),
         withLast(placedMenu, "S&top search")},
        {"an unmarked label gets one", withLast(kMenu, "Stop search"),
         withLast(placedMenu, "S&top search")},
        {"a mark later in the label on a free letter stays", withLast(kMenu, "Full searc&h"),
         withLast(placedMenu, "Full searc&h")},
        {"upper and lower case are one key", {"abc", "ABC", "aBc"}, {"&abc", "A&BC", "aB&c"}},
        {"digits count, punctuation does not", {"1-2", "-1 2"}, {"&1-2", "-1 &2"}},
        {"no free letter leaves no mark", {"ab", "ba", "&ab"}, {"&ab", "&ba", "ab"}},
        {"a literal && is kept and never marked", {"&&a", "a&&b"}, {"&&&a", "a&&&b"}},
        {"a trailing mark is dropped", {"x&"}, {"&x"}},
        {"bytes above ASCII are no keys", {"\xc3\xa9t\xc3\xa9"}, {"\xc3\xa9&t\xc3\xa9"}},
        {"an empty label", {"", "a"}, {"", "&a"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(placeAccessKeys(c.labels), c.expected);
    }
}

TEST(WithClosingPeriod, AppendsAPeriodAfterAByteAboveThePeriod) {
    const struct {
        const char* message;
        const char* expected;
    } cases[] = {
        {"Cannot open file \"/a\". No such file or directory",
         "Cannot open file \"/a\". No such file or directory."},
        {"List index out of bounds (5)", "List index out of bounds (5)"},  // ")" is below
        {"done.", "done."},
        {"a-", "a-"},
        {"/x/", "/x/."},
        {"'x'", "'x'"},
        {"code 7", "code 7."},
        {"caf\xc3\xa9", "caf\xc3\xa9."},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(withClosingPeriod(c.message), c.expected) << c.message;
    }
}

TEST(ApplicationTitle, IsTheExecutablesNameUpToItsFirstDot_capitalized) {
    const struct {
        const char* executable;
        const char* expected;
    } cases[] = {
        {"pelmaro", "Pelmaro"}, {"PELMARO.EXE", "Pelmaro"}, {"pel.maro.bin", "Pel"},
        {".hidden", ""},        {"7Zip", "7zip"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(applicationTitle(c.executable), c.expected) << c.executable;
    }
}

}  // namespace
}  // namespace pelmaro::window_text
