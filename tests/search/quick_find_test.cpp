#include "search/quick_find.h"

#include <gtest/gtest.h>

#include "platform/list_control.h"
#include "search/case_fold.h"
#include "search/title_search.h"
#include "tests/support/fakes.h"

namespace pelmaro {
namespace {

TEST(CaseFold, IsUnicodeSimpleFolding) {
    const std::pair<const char*, const char*> cases[] = {
        {"ASCII Only 123", "ascii only 123"},
        {"\u00c9T\u00c9 \u00e9t\u00e9", "\u00e9t\u00e9 \u00e9t\u00e9"},
        {"\u03a3\u039f\u03a6\u0399\u0391 \u03c3\u03bf\u03c6\u03b9\u03b1\u03c2",
         "\u03c3\u03bf\u03c6\u03b9\u03b1 \u03c3\u03bf\u03c6\u03b9\u03b1\u03c3"},
        {"\u212a\u017f\u1e9e\u00df", "ks\u00df\u00df"},  // Kelvin, long s, capital sharp s
        {"\u0130", "\u0130"},                            // no simple folding
        {"\u0414\u0416 \u0531 \U00010400", "\u0434\u0436 \u0561 \U00010428"},
        {"\u023a", "\u2c65"},                          // grows from two bytes to three
        {"bad \xff\xc3 bytes", "bad \xff\xc3 bytes"},  // kept as they are
    };
    for (const auto& [text, folded] : cases) {
        EXPECT_EQ(foldedText(text), folded) << text;
    }
    EXPECT_TRUE(isWordCharacter(U'\u00e9'));
    EXPECT_TRUE(isWordCharacter(U'\u5e2e'));
    EXPECT_FALSE(isWordCharacter(U'\u2014'));
    EXPECT_FALSE(isWordCharacter(U'('));
}

TEST(TitleMatches, SeesTheShownTextWithUnicodeCase) {
    EXPECT_TRUE(titleMatches("\u00c9t\u00e9 indien", "\u00e9T\u00c9"));
    EXPECT_TRUE(titleMatches("String (Java SE 17 & JDK 17)", "se 17 & jdk"));
    EXPECT_FALSE(titleMatches("String", ""));
    EXPECT_FALSE(titleMatches("Stra\u00dfe", "STRASSE"));  // simple folding only
    const TitleMatcher matcher("&amp;");
    EXPECT_TRUE(matcher.matches("A &amp; B", "A & B"));  // the byte rule stays
    EXPECT_FALSE(matcher.matches("A &#38; B", "A & B"));
    EXPECT_EQ(findTitles({"x", "\xc9t\xe9", "ETE"}, {"x", "\u00c9t\u00e9", "ETE"}, "\u00e9t\u00e9"),
              (std::vector<int>{1}));
    EXPECT_EQ(findTitles({"x", "\xc9t\xe9", "ETE"}, {"x", "\u00c9t\u00e9", "ETE"}, "ete"),
              (std::vector<int>{2}));
}

TEST(TitleSearch, F3AlsoFindsTheShownTextWhenTheWindowGivesIt) {
    platform::MemoryList titles({"caf\xe9", "Java &amp; more", "\xc9t\xe9", "x"});
    const std::vector<std::string> shown = {"caf\u00e9", "Java & more", "\u00c9t\u00e9", "x"};
    test::ScriptedDialogs dialogs;
    TitleSearch search(titles, dialogs, [] {});
    search.setShownTitle(
        [&](int entry) -> const std::string& { return shown[static_cast<std::size_t>(entry)]; });
    dialogs.inputAnswers = {"\u00e9T\u00c9", "&amp;", "a & m"};
    search.findNext();
    EXPECT_EQ(titles.selectedIndex(), 2);
    search.findFromTop();  // the stored bytes still match
    EXPECT_EQ(titles.selectedIndex(), 1);
    search.findFromTop();
    EXPECT_EQ(titles.selectedIndex(), 1);
}

std::vector<int> entries(const QuickFindResult& result) {
    std::vector<int> out;
    for (const auto& hit : result.hits) {
        out.push_back(hit.entry);
    }
    return out;
}

TEST(QuickFind, RanksWholeThenPrefixThenWordStartThenAnywhereThenInOrder) {
    const std::vector<std::string> titles = {
        "HashMap.Entry",        // 0 prefix
        "ConcurrentHashMap",    // 1 anywhere
        "hashmap",              // 2 whole
        "Hash of maps",         // 3 in order
        "java.util.HashMap",    // 4 word start
        "Hashtable",            // 5 no match
        "HASHMAP",              // 6 whole
        "IdentityHashMap map",  // 7 anywhere
        "the hashMap class",    // 8 word start
        "h-a-s-h-m-a-p",        // 9 in order
    };
    QuickFind find(titles);
    const QuickFindResult result = find.find("HashMap");
    EXPECT_EQ(entries(result), (std::vector<int>{2, 6, 0, 4, 8, 1, 7, 3, 9}));
    EXPECT_EQ(result.total, 9u);
    EXPECT_EQ(result.hits[0].tier, MatchTier::WholeTitle);
    EXPECT_EQ(result.hits[2].tier, MatchTier::Prefix);
    EXPECT_EQ(result.hits[3].tier, MatchTier::WordStart);
    EXPECT_EQ(result.hits[5].tier, MatchTier::Anywhere);
    EXPECT_EQ(result.hits[8].tier, MatchTier::InOrder);

    const QuickFindResult capped = find.find("HashMap", 3);
    EXPECT_EQ(entries(capped), (std::vector<int>{2, 6, 0}));
    EXPECT_EQ(capped.total, 9u);
}

TEST(QuickFind, IsUnicodeCaseInsensitiveOnTheShownText) {
    QuickFind find({"\u00c9t\u00e9", "R\u00e9sum\u00e9 d'\u00e9t\u00e9", "ETE", "\u5e2e\u52a9 Help",
                    "\u00abSt\u00e9phane\u00bb", "\u0391\u0398\u0397\u039d\u0391"});
    EXPECT_EQ(entries(find.find("\u00e9T\u00c9")), (std::vector<int>{0, 1}));
    EXPECT_EQ(entries(find.find("\u00e9")), (std::vector<int>{0, 1, 4}));
    EXPECT_EQ(entries(find.find("\u5e2e\u52a9")), (std::vector<int>{3}));
    EXPECT_EQ(entries(find.find("help")), (std::vector<int>{3}));
    EXPECT_EQ(find.find("help").hits[0].tier, MatchTier::WordStart);
    EXPECT_EQ(find.find("st\u00c9").hits[0].tier, MatchTier::WordStart);  // after "«"
    EXPECT_EQ(entries(find.find("\u03b1\u03b8\u03b7\u03bd\u03b1")), (std::vector<int>{5}));
    EXPECT_EQ(entries(find.find("r d")), (std::vector<int>{1}));  // in order, blanks skipped
    EXPECT_TRUE(find.find("").hits.empty());
}

TEST(QuickFind, TypingAndErasingGiveWhatAFreshSearchGives) {
    std::vector<std::string> titles;
    for (int i = 0; i < 300; ++i) {
        titles.push_back((i % 3 == 0   ? "ArrayList"
                          : i % 3 == 1 ? "list of arrays "
                                       : "Lazy Stream ") +
                         std::to_string(i));
    }
    QuickFind typed(titles);
    for (const char* query : {"a", "ar", "arr", "arra", "ar", "ars", "l", "li", "lis", "list 1",
                              "list 12", "x", "ary", "s", "st", "STR", " ", " l", " li"}) {
        QuickFind fresh(titles);
        const QuickFindResult expected = fresh.find(query, 50);
        const QuickFindResult got = typed.find(query, 50);
        EXPECT_EQ(got.hits, expected.hits) << query;
        EXPECT_EQ(got.total, expected.total) << query;
    }
    typed.setTitle(1, "Xylophone");
    EXPECT_EQ(entries(typed.find("xylo")), (std::vector<int>{1}));
    EXPECT_EQ(typed.foldedTitle(1), "xylophone");
}

}  // namespace
}  // namespace pelmaro
