#include "platform/file_names.h"

#include <gtest/gtest.h>

#include <utility>

namespace pelmaro {
namespace {

TEST(CaseRules, TouchOnlyAsciiLetters) {
    EXPECT_EQ(lowerAZ("Index.HTML"), "index.html");
    EXPECT_EQ(upperAZ("Alpha beta"), "ALPHA BETA");
    // Accented letters (UTF-8 and Latin-1) and other bytes stay as they are.
    EXPECT_EQ(upperAZ("\xc3\xa9t\xc3\xa9"), "\xc3\xa9T\xc3\xa9");
    EXPECT_EQ(lowerAZ("\xc3\x89T\xc9"), "\xc3\x89t\xc9");
    EXPECT_EQ(lowerAZ("@[`{"), "@[`{");
    EXPECT_EQ(upperAZ("@[`{"), "@[`{");
}

TEST(CaseRules, ClassesAreAsciiOnly) {
    for (int b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        const bool upper = b >= 'A' && b <= 'Z';
        const bool lower = b >= 'a' && b <= 'z';
        const bool digit = b >= '0' && b <= '9';
        EXPECT_EQ(isAsciiAlpha(c), upper || lower) << b;
        EXPECT_EQ(isAsciiDigit(c), digit) << b;
        EXPECT_EQ(isAsciiAlnum(c), upper || lower || digit) << b;
        EXPECT_EQ(hexDigitValue(c) >= 0, digit || (b >= 'a' && b <= 'f') || (b >= 'A' && b <= 'F'))
            << b;
    }
    EXPECT_EQ(hexDigitValue('B'), 11);
    EXPECT_TRUE(isAsciiSpace('\f'));
    EXPECT_FALSE(isAsciiSpace('\v'));
    EXPECT_FALSE(isAsciiSpace('\xa0'));
}

struct FindCase {
    std::string_view text;
    std::string_view needle;
    std::size_t from;
    std::size_t found;
};

TEST(CaseRules, FindIgnoresTheCaseOfAsciiLettersOnly) {
    constexpr std::size_t npos = std::string_view::npos;
    const FindCase cases[] = {
        {"<HTML><Title>a</TITLE>", "<title>", 0, 6},
        {"<HTML><Title>a</TITLE>", "</title>", 0, 14},
        {"<title><title>", "<title>", 1, 7},
        {"abcABC", "Cab", 0, 2},
        {"abc", "abcd", 0, npos},
        {"abc", "", 3, 3},
        {"abc", "", 4, npos},
        {"\xc3\xa9t\xc3\xa9", "\xc3\x89", 0, npos},  // an accented letter keeps its case
        {"a<b", "<B", 0, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(findIgnoringAsciiCase(c.text, c.needle, c.from), c.found)
            << c.text << " / " << c.needle;
    }
    EXPECT_TRUE(equalsIgnoringAsciiCase("HKEY_Local", "hkey_LOCAL"));
    EXPECT_FALSE(equalsIgnoringAsciiCase("abc", "abcd"));
    EXPECT_TRUE(startsWithIgnoringAsciiCase("MailTo:x", "mailto:"));
    EXPECT_FALSE(startsWithIgnoringAsciiCase("mail", "mailto:"));
}

struct Utf8Case {
    std::string_view bytes;
    std::size_t length;  // what decodeUtf8 answers: 0 for no character
    char32_t c;
    std::size_t beginning;  // utf8Sequence's length when the bytes are no character
};

TEST(Utf8, DecodesWellFormedCharactersOnly) {
    const Utf8Case cases[] = {
        {"A", 1, U'A', 0},
        {"\xc3\xa9x", 2, U'\u00e9', 0},
        {"\xe2\x82\xac", 3, U'\u20ac', 0},
        {"\xf0\x9f\x98\x80", 4, U'\U0001F600', 0},
        {"\xf4\x8f\xbf\xbf", 4, U'\U0010FFFF', 0},
        {"\x80", 0, 0, 0},              // a lone continuation byte
        {"\xc0\xaf", 0, 0, 0},          // overlong "/"
        {"\xe0\x80\xaf", 0, 0, 1},      // overlong, three bytes
        {"\xed\xa0\x80", 0, 0, 1},      // a surrogate
        {"\xf4\x90\x80\x80", 0, 0, 1},  // beyond U+10FFFF
        {"\xe2\x82", 0, 0, 2},          // cut by the end
        {"\xe2\x28\xa1", 0, 0, 1},      // broken by an ASCII byte
    };
    for (const auto& c : cases) {
        char32_t decoded = 0;
        EXPECT_EQ(decodeUtf8(c.bytes, 0, decoded), c.length) << testing::PrintToString(c.bytes);
        bool complete = false;
        const std::size_t length = utf8Sequence(c.bytes, complete);
        EXPECT_EQ(complete, c.length != 0) << testing::PrintToString(c.bytes);
        if (c.length != 0) {
            EXPECT_EQ(decoded, c.c) << testing::PrintToString(c.bytes);
            EXPECT_EQ(length, c.length);
        } else {
            EXPECT_EQ(length, c.beginning) << testing::PrintToString(c.bytes);
        }
    }
    char32_t decoded = 0;
    EXPECT_EQ(decodeUtf8("x\xc3\xa9", 1, decoded), 2u);
    EXPECT_EQ(decoded, U'\u00e9');
}

TEST(Trim, RemovesControlBytesAndBlanksAtBothEnds) {
    EXPECT_EQ(trimmed(std::string_view("\0 \t a b \x1f\x20", 9)), "a b");
    EXPECT_EQ(trimmed("   "), "");
    EXPECT_EQ(trimmed("\x7f"), "\x7f");
    EXPECT_EQ(trimmed("\xa0x\xa0"), "\xa0x\xa0");
}

struct NameCase {
    const char* path;
    const char* name;
    const char* extension;
    const char* asPath;
};

TEST(FileNames, NameExtensionAndDerivedName) {
    const NameCase cases[] = {
        {"/x/pelmaropath.bookmark", "pelmaropath.bookmark", ".bookmark", "/x/pelmaropath.path"},
        {"/a.b/notes", "notes", "", "/a.b/notes.path"},
        {"/d/notes.old.txt", "notes.old.txt", ".txt", "/d/notes.old.path"},
        {"/d/.htm", ".htm", ".htm", "/d/.path"},
        {"plain", "plain", "", "plain.path"},
        {"/d/trailing.", "trailing.", ".", "/d/trailing.path"},
        {"", "", "", ".path"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fileNameOf(c.path), c.name) << c.path;
        EXPECT_EQ(extensionOf(c.path), c.extension) << c.path;
        EXPECT_EQ(deriveName(c.path, ".path"), c.asPath) << c.path;
    }
}

TEST(FileNames, AbsoluteNameFromTheCurrentFolder) {
    const std::pair<const char*, const char*> cases[] = {
        {"docs/./html", "/home/me/docs/html"}, {"./tree/", "/home/me/tree"},
        {".//tree", "/home/me/tree"},          {".", "/home/me"},
        {"../up", "/home/me/../up"},           {"pelmaropath.path", "/home/me/pelmaropath.path"},
        {"/abs/./kept/", "/abs/./kept/"},
    };
    for (const auto& [name, absolute] : cases) {
        EXPECT_EQ(absoluteName(name, "/home/me"), absolute) << name;
    }
    EXPECT_EQ(absoluteName("tree", "/"), "/tree");
}

TEST(Utf8Prefix, CutsBeforeACharacterThatWouldBeSplit) {
    const std::string e = "\xc3\xa9";             // é
    const std::string clef = "\xf0\x9d\x84\x9e";  // U+1D11E
    const struct {
        std::string text;
        std::size_t max;
        std::string prefix;
    } cases[] = {
        {"abc", 5, "abc"},
        {"abcdef", 3, "abc"},
        {"a" + e + "b", 2, "a"},
        {"a" + e + "b", 3, "a" + e},
        {"a" + clef, 4, "a"},
        {"a" + clef, 5, "a" + clef},
        {"ab\xe9"
         "cd",
         3, "ab\xe9"},                                  // Latin-1: any byte is a boundary
        {"a\x80\x80\x80\x80\x80", 4, "a\x80\x80\x80"},  // stray continuation bytes
        {e, 0, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf8Prefix(c.text, c.max), c.prefix) << c.text << " " << c.max;
    }
}

}  // namespace
}  // namespace pelmaro
