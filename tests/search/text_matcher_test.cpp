#include "search/text_matcher.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "page/page_text.h"
#include "platform/error.h"
#include "platform/file_names.h"
#include "platform/file_system.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

using namespace std::string_literals;

// What the full-text search is defined to answer: the loader's joined text, A-Z lower-cased,
// contains the text likewise lower-cased.
bool definedAnswer(std::string_view bytes, std::string_view text) {
    return !text.empty() &&
           lowerAZ(joinedText(pageLines(bytes))).find(lowerAZ(text)) != std::string::npos;
}

TEST(FoldedPattern, foundInIgnoresCaseOfAsciiLettersOnly) {
    struct Case {
        std::string text;
        std::string pattern;
        bool found;
    };
    const Case cases[] = {
        {"Alphabet", "alpha", true},
        {"alphabet", "ALPHA", true},
        {"ALPHABET", "phab", true},
        {"Alpha", "alphabet", false},
        {"", "a", false},
        {"anything", "", false},
        {"\xc3\x89t\xc3\xa9", "\xc3\xa9t\xc3\xa9", false},  // É is not é
        {"\xc3\x89t\xc3\xa9", "\xc3\x89T", true},
        {"@[`{", "`{", true},  // 0x40 and 0x60 differ only in the case bit, yet are no letters
        {"@[", "`{", false},
        {"a\r\nb", "ab", false},  // titles keep every byte: only the file search skips breaks
        {"bad \xff\xfe bytes", "\xff\xfe B", true},
        {"long title with the word at the very end: quixotic", "QUIXOTIC", true},
        {"the word quixotic in a title that is long enough for the wide scan", "quixotiC", true},
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "aaab", true},
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", "aaab", false},
        {"x\0y"s, "X\0Y"s, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FoldedPattern(c.pattern).foundIn(c.text), c.found)
            << "\"" << c.pattern << "\" in \"" << c.text << "\"";
    }
}

TEST(FileTextScanner, plainTextFollowsThePageTextRules) {
    struct Case {
        std::string bytes;
        std::string text;
        bool found;
    };
    const Case cases[] = {
        {"<p>SETUP</p>", "Setup", true},
        {"set\r\nup", "setup", true},
        {"set\nup", "Setup", true},
        {"set\rup", "setup", true},
        {"s\r\ne\n\nt\r\r\nup", "setup", true},
        {"set up", "setup", false},
        {"head\0setup"s, "setup", false},  // the text ends at the first NUL
        {"set\0up"s, "setup", false},
        {"\0setup"s, "setup", false},
        {"setup", "set\nup", false},  // the text has no line breaks left to match
        {"set\nup", "set\nup", false},
        {"setup", "", false},
        {"", "setup", false},
        {"GIF89a\x01\x00\x01\x00;"s, "gif89A", true},  // images are read like any other file
        {"na\xc3\xafve", "NA\xc3\xafVE", true},
        {"na\xc3\xafve", "NA\xc3\x8fVE", false},
    };
    for (const Case& c : cases) {
        for (const std::size_t blockSize : {1, 2, 3, 7, 64}) {
            FileTextScanner scanner(c.text, blockSize);
            EXPECT_EQ(scanner.plainTextContains(c.bytes), c.found)
                << "\"" << c.text << "\" in \"" << c.bytes << "\", blocks of " << blockSize;
        }
    }
}

// Random texts over a small alphabet, so that near misses, repeats, case pairs, line breaks and
// NULs meet the pattern often, checked against the definition for many block sizes.
TEST(FileTextScanner, plainTextAgreesWithTheDefinitionOnRandomInput) {
    std::mt19937 random(4711);
    const std::string alphabet = "aAbB\r\n\r\n\0x\xc3{"s;
    const auto randomText = [&](std::size_t maxLength, bool breaks) {
        std::string out(random() % (maxLength + 1), ' ');
        for (char& c : out) {
            do {
                c = alphabet[random() % alphabet.size()];
            } while (!breaks && (c == '\r' || c == '\n' || c == '\0'));
        }
        return out;
    };
    int found = 0;
    for (int round = 0; round < 20000; ++round) {
        const std::string bytes = randomText(200, true);
        const std::string text = randomText(6, random() % 8 == 0);
        const bool expected = definedAnswer(bytes, text);
        found += expected;
        // Small blocks put boundaries everywhere; whole blocks exercise the wide scan.
        const std::size_t blockSize = random() % 4 == 0 ? 4096 : 1 + random() % 20;
        FileTextScanner scanner(text, blockSize);
        ASSERT_EQ(scanner.plainTextContains(bytes), expected)
            << "round " << round << ", blocks of " << blockSize;
    }
    // The table of inputs is useful only when both answers come up often.
    EXPECT_GT(found, 2000);
    EXPECT_LT(found, 18000);
}

TEST(FileTextScanner, scanAgreesWithTheDefinitionOnRandomFiles) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    std::mt19937 random(99);
    const std::string alphabet = "eEtT \r\n\0<>"s;
    for (int round = 0; round < 300; ++round) {
        std::string bytes(random() % 3000, ' ');
        for (char& c : bytes) {
            c = alphabet[random() % alphabet.size()];
        }
        const std::string text = bytes.substr(random() % (bytes.size() + 1), 1 + random() % 5);
        const std::string name = dir.write("f" + std::to_string(round) + ".txt", bytes);
        for (const std::size_t blockSize : {std::size_t{1}, std::size_t{5}, std::size_t{4096}}) {
            FileTextScanner scanner(upperAZ(text), blockSize);
            ASSERT_EQ(scanner.scan(files, name) == FileTextScanner::Outcome::Found,
                      definedAnswer(bytes, upperAZ(text)))
                << "round " << round << ", blocks of " << blockSize;
        }
    }
}

// RTF is read as it streams past; a document found broken at its end (or nested too deep) is
// searched again as plain text.
TEST(FileTextScanner, rtfScanAgreesWithTheDefinitionOnRandomFiles) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    std::mt19937 random(5);
    const std::vector<std::string> pieces = {
        "{",       "}", "\\par ", "\\b ", "\\'41", "\\'4", "\\u66?", "\\*", "\\fonttbl ",
        "\\bin2 ", "a", "B",      "ab",   "\r\n",  " ",    "\\",     "\\}", "\0"s};
    for (int round = 0; round < 400; ++round) {
        std::string bytes = "{\\rtf1 ";
        const int count = static_cast<int>(random() % 40);
        for (int i = 0; i < count; ++i) {
            bytes += pieces[random() % pieces.size()];
        }
        if (random() % 2 == 0) {
            bytes += "}";
        }
        const std::string text = random() % 2 == 0 ? "ab" : "BA";
        const std::string name = dir.write("f" + std::to_string(round) + ".rtf", bytes);
        for (const std::size_t blockSize : {std::size_t{1}, std::size_t{4096}}) {
            FileTextScanner scanner(text, blockSize);
            ASSERT_EQ(scanner.scan(files, name) == FileTextScanner::Outcome::Found,
                      definedAnswer(bytes, text))
                << testing::PrintToString(bytes) << ", blocks of " << blockSize;
        }
    }
    const std::string deep = std::string(2000, '{') + "\\b set\\b0 up" + std::string(2000, '}');
    const std::string name = dir.write("deep.rtf", "{\\rtf1 " + deep + "}");
    EXPECT_EQ(FileTextScanner("setup").scan(files, name), FileTextScanner::Outcome::NotFound);
    EXPECT_EQ(FileTextScanner("b set").scan(files, name), FileTextScanner::Outcome::Found);
}

TEST(FileTextScanner, matchSpanningTheDefaultBlockBoundaryIsFound) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    const std::size_t block = FileTextScanner::kDefaultBlockSize;
    struct Case {
        std::string name;
        std::string bytes;
    };
    const Case cases[] = {
        {"straddles.txt", std::string(block - 2, '.') + "SETUP"},
        {"break-at-boundary.txt", std::string(block - 3, '.') + "set\r\nup"},
        {"breaks-fill-a-block.txt", "se" + std::string(block, '\n') + "tup"},
        {"starts-next-block.txt", std::string(block, '.') + "setup"},
    };
    for (const Case& c : cases) {
        FileTextScanner scanner("setup");
        EXPECT_EQ(scanner.scan(files, dir.write(c.name, c.bytes)), FileTextScanner::Outcome::Found)
            << c.name;
    }
}

TEST(FileTextScanner, scannerIsReusedAcrossFilesWithoutCarryingText) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    FileTextScanner scanner("setup", 4);
    EXPECT_EQ(scanner.scan(files, dir.write("a.txt", "....set")),
              FileTextScanner::Outcome::NotFound);
    // "up" alone must not complete the "set" that ended the previous file.
    EXPECT_EQ(scanner.scan(files, dir.write("b.txt", "up..")), FileTextScanner::Outcome::NotFound);
    EXPECT_EQ(scanner.scan(files, dir.write("c.txt", "..setup")), FileTextScanner::Outcome::Found);
}

TEST(FileTextScanner, rtfFileIsSearchedInItsTextNotItsMarkup) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    const std::string rtf =
        "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Getting \\b set\\b0 up\\par}";
    const std::string name = dir.write("doc.rtf", rtf);
    struct Case {
        std::string text;
        bool found;
    };
    const Case cases[] = {{"SETUP", true}, {"ansi", false}, {"arial", false}, {"\\par", false}};
    for (const Case& c : cases) {
        FileTextScanner scanner(c.text);
        EXPECT_EQ(scanner.scan(files, name) == FileTextScanner::Outcome::Found, c.found) << c.text;
        EXPECT_EQ(definedAnswer(rtf, c.text), c.found) << c.text;
    }
}

TEST(FileTextScanner, keepGoingRunsEveryFewMegabytesAndCanAbandonTheFile) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    const std::string name = dir.write(
        "huge.txt", std::string(3 * FileTextScanner::kBytesBetweenPauses, 'a') + "needle");
    FileTextScanner scanner("needle");
    int calls = 0;
    EXPECT_EQ(scanner.scan(files, name, [&] { return ++calls < 2; }),
              FileTextScanner::Outcome::Abandoned);
    EXPECT_EQ(calls, 2);
    calls = 0;
    EXPECT_EQ(scanner.scan(files, name, [&] { return ++calls > 0; }),
              FileTextScanner::Outcome::Found);
    EXPECT_EQ(calls, 3);
}

TEST(FileTextScanner, unreadableFileFails) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    FileTextScanner scanner("x");
    EXPECT_THROW(scanner.scan(files, dir / "missing.txt"), Error);
    EXPECT_THROW(scanner.scan(files, dir.mkdir("folder.htm")), Error);
}

}  // namespace
}  // namespace pelmaro
