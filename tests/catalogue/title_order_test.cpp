#include "catalogue/title_order.h"

#include <gtest/gtest.h>
#include <locale.h>
#include <wctype.h>

#include <filesystem>
#include <random>

#include "page/page_text.h"
#include "page/page_title.h"
#include "platform/file_names.h"
#include "platform/file_system.h"

namespace pelmaro {
namespace {

using Titles = std::vector<std::string>;

// The exchange ordering exactly as the window's first version did it: m passes, each comparing
// title i as the list holds it now with every item of a snapshot taken after the last pass, and
// swapping when it is smaller.
std::vector<std::size_t> literalOrder(const Titles& titles) {
    // Each title carries its key along, made once, so that thousands of titles stay quick.
    Titles list;
    for (const auto& title : titles) {
        list.push_back(titleOrderKey(title));
    }
    std::vector<std::size_t> origin(titles.size());
    std::iota(origin.begin(), origin.end(), 0);
    Titles snapshot = list;
    for (std::size_t i = 0; i < list.size(); ++i) {
        for (std::size_t j = 0; j < snapshot.size(); ++j) {
            if (i != j && list[i] < snapshot[j]) {
                std::swap(list[i], list[j]);
                std::swap(origin[i], origin[j]);
            }
        }
        snapshot = list;
    }
    return origin;
}

Titles applied(const Titles& titles, const std::vector<std::size_t>& order) {
    Titles out;
    for (const std::size_t i : order) {
        out.push_back(titles[i]);
    }
    return out;
}

TEST(TitleOrder, KeyUpperCasesCharactersLikeAUtf8Locale) {
    struct KeyCase {
        std::string title;
        std::string key;
    };
    const KeyCase cases[] = {
        {"Intro", "INTRO"},
        {"\xc3\xa9t\xc3\xa9", "\xc3\x89T\xc3\x89"},  // été -> ÉTÉ
        {"stra\xc3\x9f"
         "e",
         "STRA\xc3\x9f"
         "E"},                                                     // ß has no simple upper case
        {"\xc3\xbf", "\xc5\xb8"},                                  // ÿ -> Ÿ
        {"\xce\xb1\xcf\x82", "\xce\x91\xce\xa3"},                  // ας -> ΑΣ
        {"\xd0\xbc\xd0\xb8\xd1\x80", "\xd0\x9c\xd0\x98\xd0\xa0"},  // мир -> МИР
        {"\xf0\x90\x90\xa8", "\xf0\x90\x90\x80"},  // Deseret, beyond the first plane
        {"\xe2\xb1\xa5", "\xc8\xba"},              // a key may get shorter
        {"caf\xe9 abc", "CAF\xe9 ABC"},            // Latin-1 byte: not UTF-8, stays
        {"\xc3(x", "\xc3(X"},                      // broken sequence
        {"\xc0\xa1", "\xc0\xa1"},                  // overlong form
        {"\xed\xa0\x80", "\xed\xa0\x80"},          // surrogate
        {"\xff\xfe"
         "ab",
         "\xff\xfe"
         "AB"},
        {"", ""},
        {std::string("a\0b", 3), std::string("A\0B", 3)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(titleOrderKey(c.title), c.key) << testing::PrintToString(c.title);
    }
}

TEST(TitleOrder, BuiltinTableAgreesWithTheUtf8Locale) {
    const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (utf8 == static_cast<locale_t>(nullptr)) {
        GTEST_SKIP() << "no C.UTF-8 locale here";
    }
    for (char32_t c = 0; c < 0x500; ++c) {
        const bool covered = c < 0x180 || (c >= 0x3AC && c <= 0x3CE) || c >= 0x400;
        if (covered) {
            EXPECT_EQ(builtinUpperCase(c), static_cast<char32_t>(::towupper_l(c, utf8)))
                << std::hex << static_cast<unsigned>(c);
        }
    }
    ::freelocale(utf8);
}

TEST(TitleOrder, KnownCasesEndInTheExchangeOrder) {
    struct OrderCase {
        Titles titles;
        Titles ordered;
    };
    const OrderCase cases[] = {
        {{"Intro", "INTRO", "About"}, {"About", "INTRO", "Intro"}},
        {{"b", "A", "c"}, {"A", "b", "c"}},
        {{}, {}},
        {{"only"}, {"only"}},
        {{"ab", "a", "A", ""}, {"", "A", "a", "ab"}},
        {{"\xc3\xa9", "\xc3\x89", "z"}, {"z", "\xc3\x89", "\xc3\xa9"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(applied(c.titles, orderByTitle(c.titles)), c.ordered);
        EXPECT_EQ(orderByTitle(c.titles), literalOrder(c.titles));
    }
}

TEST(TitleOrder, MatchesTheExchangeProcedureOnRandomTitlesWithManyEqualKeys) {
    // Few distinct keys, each in several spellings, so ties are everywhere.
    const Titles alphabet = {"a", "A",        "b",        "B",    "ab", "AB", "Ab",
                             "",  "\xc3\xa9", "\xc3\x89", "\xe9", "z",  "Z"};
    std::mt19937 random(1234);
    for (int round = 0; round < 4000; ++round) {
        // Mostly small lists, some long enough for groups to turn many times.
        const std::size_t m = round % 50 == 0 ? 100 + random() % 100 : random() % 13;
        const std::size_t spread = 1 + random() % alphabet.size();
        Titles titles;
        for (std::size_t i = 0; i < m; ++i) {
            titles.push_back(alphabet[random() % spread]);
        }
        ASSERT_EQ(orderByTitle(titles), literalOrder(titles)) << testing::PrintToString(titles);
    }
}

// Titles of a real documentation tree: page titles, and the first lines of its text sources
// (headings, rules of "=" and "-", blank-trimmed lines: many equal keys).
Titles documentationTitles(const std::string& root, std::size_t limit) {
    platform::PosixFileSystem files;
    Titles titles;
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            names.push_back(entry.path().string());
        }
    }
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        if (titles.size() >= limit) {
            break;
        }
        titles.push_back(extractPageTitle(files, name));
        if (lowerAZ(extensionOf(name)) == ".txt") {
            const auto lines = loadPageLines(files, name);
            for (std::size_t i = 0; i < lines.size() && i < 4; ++i) {
                titles.push_back(std::string(trimmed(lines[i])));
            }
        }
    }
    titles.resize(std::min(titles.size(), limit));
    return titles;
}

TEST(TitleOrder, MatchesTheExchangeProcedureOnARealDocumentationTree) {
    const std::string root = "/usr/share/doc/python3.11/html";
    if (!std::filesystem::is_directory(root)) {
        GTEST_SKIP() << root << " is not installed";
    }
    const Titles titles = documentationTitles(root, 2500);
    ASSERT_GT(titles.size(), 1000u);
    EXPECT_EQ(orderByTitle(titles), literalOrder(titles));
    // Shuffled, so that ties arrive in other orders.
    Titles shuffled = titles;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(5));
    EXPECT_EQ(orderByTitle(shuffled), literalOrder(shuffled));
}

}  // namespace
}  // namespace pelmaro
