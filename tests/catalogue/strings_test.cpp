#include "catalogue/strings.h"

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
