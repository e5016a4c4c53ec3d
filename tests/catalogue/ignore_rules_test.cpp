#include "catalogue/ignore_rules.h"

#include <gtest/gtest.h>

#include <string>

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
