#include "page/page_text.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

using Lines = std::vector<std::string>;

struct LinesCase {
    const char* what;
    std::string bytes;
    Lines lines;
};

TEST(PageLines, PlainTextSplitsAtEveryLineEndAndStopsAtNul) {
    const LinesCase cases[] = {
        {"empty file has no lines", "", {}},
        {"CR LF, lone CR and lone LF each end a line", "a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"LF CR is two line ends", "a\n\rb", {"a", "", "b"}},
        {"empty last line is not counted", "a\r\n", {"a"}},
        {"blank lines in between are kept", "a\r\n\r\n\r\nb\r\n", {"a", "", "", "b"}},
        {"text after the first NUL is ignored", std::string("a\nb\0c\nd", 7), {"a", "b"}},
        {"a long line is delivered whole", std::string(10000, 'x'), {std::string(10000, 'x')}},
        {"bytes are not converted",
         "\xc3\xa9t\xc3\xa9\r\n\xff\xfe",
         {"\xc3\xa9t\xc3\xa9", "\xff\xfe"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pageLines(c.bytes), c.lines) << c.what;
    }
}

TEST(PageLines, JoinedTextDropsLineBreaks) {
    EXPECT_EQ(joinedText(pageLines("<title>User\r\nGuide</title>\n")), "<title>UserGuide</title>");
    EXPECT_EQ(joinedText({}), "");
}

struct RtfCase {
    const char* what;
    std::string rtf;
    Lines lines;
};

TEST(PageLines, RtfDeliversTheTextAWordProcessorShows) {
    const RtfCase cases[] = {
        {"paragraphs become lines", R"({\rtf1\ansi Hello\par World\par})", {"Hello", "World"}},
        {"\\line is a line end too", R"({\rtf1 a\line b})", {"a", "b"}},
        {"formatting words carry no text and eat one blank",
         R"({\rtf1\ansi\deff0 {\b bold} and \i0 plain\par})",
         {"bold and plain"}},
        {"font, colour and style tables are skipped",
         R"({\rtf1{\fonttbl{\f0\fswiss Arial;}{\f1 Times;}}{\colortbl;\red255\green0\blue0;})"
         R"({\stylesheet{\s0 Normal;}}{\info{\title Hidden}{\author Me}}\f0 Shown\par})",
         {"Shown"}},
        {"pictures and ignorable destinations are skipped",
         R"({\rtf1 a{\pict\pngblip 89504e47}b{\*\generator Writer;}c{\*\unknown x}d})",
         {"abcd"}},
        {"\\'hh gives that byte", R"({\rtf1 caf\'e9\'E9})", {"caf\xe9\xe9"}},
        {"\\uN gives UTF-8 and skips one fallback character",
         R"({\rtf1 caf\u233?s})",
         {"caf\xc3\xa9s"}},
        {"negative \\uN is a 16-bit value", R"({\rtf1 \u-4064?})", {"\xef\x80\xa0"}},
        {"\\uc2 skips two fallback characters, \\'hh counting as one",
         R"({\rtf1\uc2 \u8364\'80xy})",
         {"\xe2\x82\xacy"}},
        {"\\uc0 skips nothing",
         R"({\rtf1\uc0 \u233 e})",
         {"\xc3\xa9"
          "e"}},
        {"\\uc is scoped to its group", R"({\rtf1{\uc0 \u233}\u233?x})", {"\xc3\xa9\xc3\xa9x"}},
        {"surrogate pairs join into one character",
         R"({\rtf1 \u-10179?\u-8704?})",
         {"\xf0\x9f\x98\x80"}},
        {"escaped braces and backslash are text", R"({\rtf1 \{a\}\\b})", {"{a}\\b"}},
        {"source line breaks are layout only", "{\\rtf1 a\r\nb\nc\\\nd}", {"abc", "d"}},
        {"\\bin data is skipped, braces included", "{\\rtf1 a\\bin4 }{\\}b}", {"ab"}},
        {"text after the outer group is ignored", R"({\rtf1 a}trailing)", {"a"}},
        {"tabs and special punctuation",
         R"({\rtf1 a\tab b\emdash c\lquote d\rquote})",
         {"a\tb\xe2\x80\x94"
          "c\xe2\x80\x98"
          "d\xe2\x80\x99"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pageLines(c.rtf), c.lines) << c.what;
    }
}

TEST(PageLines, InvalidRtfIsReadAsPlainText) {
    const char* cases[] = {
        "{\\rtf1 never closed",
        "{\\rtfx1 not the rtf word}",
        "{\\rtf1 bad hex \\'zz}",
        "{\\rtf1 cut \\'",
        "{\\rtf",
    };
    for (const char* rtf : cases) {
        std::string text = "stale";
        EXPECT_FALSE(rtfToText(rtf, text)) << rtf;
        EXPECT_EQ(text, "") << rtf;
        EXPECT_EQ(pageLines(rtf), Lines{rtf}) << rtf;
    }
}

TEST(PageLines, LoadReadsTheFileOrFailsWithCannotOpen) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    const std::string page = dir.write("page.rtf", "{\\rtf1 One\\par Two\\par}");
    EXPECT_EQ(loadPageLines(files, page), (Lines{"One", "Two"}));
    try {
        loadPageLines(files, dir / "missing.htm");
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + (dir / "missing.htm") + "\". No such file or directory");
    }
}

}  // namespace
}  // namespace pelmaro
