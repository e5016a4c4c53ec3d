#include "platform/line_list.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/byte_text.h"
#include "platform/error.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

using Lines = std::vector<std::string>;

struct ParseCase {
    const char* name;
    std::string bytes;
    Lines lines;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.name;
}

class ParseLineList : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseLineList, SplitsAsStored) {
    EXPECT_EQ(parseLineList(GetParam().bytes), GetParam().lines);
}

TEST_P(ParseLineList, ReadInBlocksSplitsTheSame) {
    test::FakeFileSystem files;
    files.inMemory["/list"] = GetParam().bytes;
    const std::size_t total = GetParam().lines.size();
    for (const std::size_t chunk : {1, 2, 3, 4096}) {
        files.chunk = chunk;
        std::size_t count = 0;
        EXPECT_EQ(readLineListText(files, "/list", SIZE_MAX, count), GetParam().lines);
        EXPECT_EQ(count, total);
        // Lines beyond those kept are counted only.
        const Lines first(GetParam().lines.begin(),
                          GetParam().lines.begin() + static_cast<std::ptrdiff_t>(total / 2));
        EXPECT_EQ(readLineListText(files, "/list", total / 2, count), first);
        EXPECT_EQ(count, total);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseLineList,
    testing::Values(ParseCase{"Empty", "", {}}, ParseCase{"CrLf", "a\r\nb\r\n", {"a", "b"}},
                    ParseCase{"LoneCrAndLoneLf", "a\rb\nc", {"a", "b", "c"}},
                    ParseCase{"LfCrIsTwoLineEnds", "a\n\rb", {"a", "", "b"}},
                    ParseCase{"LastLineWithoutLineEnd", "a\r\nb", {"a", "b"}},
                    ParseCase{"OnlyALineEnd", "\r\n", {""}},
                    ParseCase{"EmptyLinesKept", "\r\n\r\nx\r\n", {"", "", "x"}},
                    ParseCase{"NulEndsEverything", std::string("ab\0cd\r\nef", 9), {"ab"}},
                    ParseCase{"NulAtLineStartAddsNoLine", std::string("ab\r\n\0cd", 7), {"ab"}},
                    ParseCase{"NulFirst", std::string("\0ab", 3), {}},
                    ParseCase{"BytesKept", "\xe9t\xe9|\xff\r\n", {"\xe9t\xe9|\xff"}},
                    // Lines longer than the sixteen bytes looked at in a step.
                    ParseCase{"LongLines",
                              "/usr/share/doc/a/b/index.html\r\nseventeen bytes..\rx\n"
                              "/usr/share/doc/a/b/c/d/e/f/g.html",
                              {"/usr/share/doc/a/b/index.html", "seventeen bytes..", "x",
                               "/usr/share/doc/a/b/c/d/e/f/g.html"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Sixteen and eight bytes at a time: every place in a block and past it, from every start, among
// bytes that differ from CR, LF and NUL by the high bit or by one (0x8a, 0x0b, 0x01, 0xff...).
TEST(LineList, FindLineEndAgreesWithABytewiseSearch) {
    const std::string near("\x8a\x8d\x80\x0b\x0c\x09\x01\xff a", 10);
    for (const char end : {'\r', '\n', '\0'}) {
        for (std::size_t at = 0; at < 40; ++at) {
            std::string text;
            for (std::size_t i = 0; i < 40; ++i) {
                text += i == at ? end : near[i % near.size()];
            }
            for (std::size_t from = 0; from <= text.size(); ++from) {
                EXPECT_EQ(findLineEnd(text, from),
                          text.find_first_of(std::string_view("\r\n\0", 3), from))
                    << int(end) << " at " << at << " from " << from;
            }
        }
    }
    EXPECT_EQ(findLineEnd(near), std::string_view::npos);
}

TEST(LineList, FormatEndsEveryItemWithCrLfAndRoundTrips) {
    EXPECT_EQ(formatLineList({}), "");
    EXPECT_EQ(formatLineList({""}), "\r\n");
    const Lines items = {"Getting started", "", "caf\xc3\xa9", "\xff\xfe", "a|b|3"};
    EXPECT_EQ(formatLineList(items), "Getting started\r\n\r\ncaf\xc3\xa9\r\n\xff\xfe\r\na|b|3\r\n");
    EXPECT_EQ(parseLineList(formatLineList(items)), items);
}

TEST(LineList, LoadReplacesTheListAndAMissingFileLeavesItUntouched) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    platform::MemoryList list({"old"});
    list.select(0);
    try {
        loadList(files, list, dir / "missing.title");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + (dir / "missing.title") +
                                             "\". No such file or directory");
    }
    EXPECT_EQ(list.items(), Lines{"old"});
    EXPECT_EQ(list.selectedIndex(), 0);

    dir.write("a.title", "one\r\ntwo");
    loadList(files, list, dir / "a.title");
    EXPECT_EQ(list.items(), (Lines{"one", "two"}));
    EXPECT_EQ(list.selectedIndex(), -1);

    saveList(files, list, dir / "b.title");
    EXPECT_EQ(test::readFile(dir / "b.title"), "one\r\ntwo\r\n");
    list.clear();
    saveList(files, list, dir / "b.title");
    EXPECT_EQ(test::readFile(dir / "b.title"), "");
}

TEST(EntryReference, MadeOfTitleBarAndIndex) {
    EXPECT_EQ(makeEntryReference("Getting started", 12), "Getting started|12");
    EXPECT_EQ(makeEntryReference("", 0), "|0");
}

TEST(EntryReference, ReadsTheNumberAfterTheLastBar) {
    EXPECT_EQ(readEntryReference("Getting started|12"), 12);
    EXPECT_EQ(readEntryReference("a|b|7"), 7);  // a title holding "|" still reads back
    EXPECT_EQ(readEntryReference(makeEntryReference("x|y", 3)), 3);
    EXPECT_EQ(readEntryReference("42"), 42);
    EXPECT_EQ(readEntryReference("|0"), 0);
    EXPECT_THROW(readEntryReference("title|"), Error);
    EXPECT_THROW(readEntryReference("no bar"), Error);
}

struct IntegerCase {
    std::string text;
    int value;
};

TEST(ReadInteger, AcceptsDecimalHexSignAndLeadingBlanks) {
    const IntegerCase cases[] = {
        {"0", 0},
        {"12", 12},
        {"007", 7},
        {"  5", 5},
        {"+5", 5},
        {"-5", -5},
        {" -12", -12},
        {"$1F", 31},
        {"x1f", 31},
        {"X10", 16},
        {"0x10", 16},
        {"0XfF", 255},
        {"-$10", -16},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"$7FFFFFFF", 2147483647},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(readInteger(c.text), c.value) << c.text;
    }
}

TEST(ReadInteger, RejectsEverythingElseNamingTheText) {
    for (const std::string text :
         {"", " ", "-", "+", "$", "0x", "12 ", "1a", "a1", "\t5", "1.5", "2147483648",
          "-2147483649", "$80000000", "99999999999999999999", "- 5", "0x-1"}) {
        try {
            readInteger(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), "'" + text + "' is not a valid integer value");
        }
    }
}

}  // namespace
}  // namespace pelmaro
