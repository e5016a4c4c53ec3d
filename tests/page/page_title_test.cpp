#include "page/page_title.h"

#include <gtest/gtest.h>

#include <random>

#include "page/page_text.h"
#include "platform/error.h"
#include "platform/file_names.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

struct TitleCase {
    const char* name;
    std::string content;
    std::string title;
};

const TitleCase kTitleCases[] = {
    {"Index.HTML", "<html><TITLE> Contents </TITLE></html>", " Contents "},
    {"guide.htm", "<head>\r\n<title>User\r\nGuide</title>", "UserGuide"},
    {"lf.htm", "<title>User\nGuide</title>", "UserGuide"},
    {"cr.htm", "<title>User\rGuide</title>", "UserGuide"},
    {"tags-split.htm", "<ti\r\ntle>Split tags</ti\ntle>", "Split tags"},
    {"blanks.htm", "<title> \t </title>", "blanks"},
    {"controls.htm", std::string("<title>\x01\x1f \x20</title>"), "controls"},
    {"empty.htm", "<title></title>", "empty"},
    {"close-first.htm", "</title><title>Late</title>", "close-first"},
    {"no-close.html", "<title>Never closed", "no-close"},
    {"no-open.html", "<p>No title here</p>", "no-open"},
    {"first-wins.html", "<title>One</title><title>Two</title>", "One"},
    {"nested-open.html", "<title>a<title>b</title>", "a<title>b"},
    {"mixed-case.shtml", "<TiTlE>Mixed</tItLe>", "Mixed"},
    {"inner-tags.asp", "<title><b>Bold</b></title>", "<b>Bold</b>"},
    {"kept-bytes.cgi", "<title>\xc3\x89t\xc3\xa9 \xff</title>", "\xc3\x89t\xc3\xa9 \xff"},
    {"after-nul.xml", std::string("<x/>\0<title>Hidden</title>", 26), "after-nul"},
    {"before-nul.xml", std::string("<title>Seen</title>\0junk", 24), "Seen"},
    {"empty-file.htm", "", "empty-file"},
    {".htm", "no title element", ""},
    {"UPPER.HTM", "<title>Upper</title>", "Upper"},
    {"notes.old.txt", "\r\n  Release notes\r\n", "notes"},
    {"notes2.old.txt", "  Release notes\r\nsecond line", "  Release notes"},
    {"blank-first.txt", " \t\r\nSecond", "blank-first"},
    {"nul-first.txt", std::string("\0Text", 5), "nul-first"},
    {"only-line.txt", "Only line without end", "Only line without end"},
    {"tagged.txt", "<title>Not used</title>\r\n", "<title>Not used</title>"},
    {"rtf.htm", "{\\rtf1{\\fonttbl{\\f0 Arial;}}\\f0 <title>Rich\\par Page</title>}", "RichPage"},
    {"rtf.txt", "{\\rtf1{\\info{\\title x}}First\\par Second}", "First"},
    {"bad-rtf.txt", "{\\rtf1 not closed\r\nline two", "{\\rtf1 not closed"},
    {"logo.gif", "<title>Never read</title>", "logo"},
    {"style.css", "<title>Never read</title>", "style"},
};

TEST(PageTitle, FollowsTheTitleRulesWhateverTheReadBlockSize) {
    test::TempDir dir;
    test::FakeFileSystem files;
    for (const auto& c : kTitleCases) {
        dir.write(c.name, c.content);
    }
    for (const std::size_t chunk : {1, 2, 3, 7, 8, 4096, 1 << 20}) {
        files.chunk = chunk;
        for (const auto& c : kTitleCases) {
            EXPECT_EQ(extractPageTitle(files, dir / c.name), c.title)
                << c.name << " read " << chunk << " bytes at a time";
        }
    }
}

TEST(PageTitle, TitleBeyondTheFirstReadBlocksIsFound) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    // The tags straddle the reader's block boundaries wherever they fall.
    std::string page(40000, 'x');
    page.insert(16380, "<ti\r\ntle>Far");
    page.insert(20476, "away</TITLE>");
    dir.write("far.html", page);
    EXPECT_EQ(extractPageTitle(files, dir / "far.html"),
              "Far" + std::string(20476 - 16392, 'x') + "away");
}

// Pages made to cost: a title is cut at kTitleLimit bytes, a page is searched for one only in
// its first kTitleSearchLimit bytes, and RTF nested beyond reason is plain text.
TEST(PageTitle, HostilePagesGiveShortTitlesFromTheirFirstMegabyte) {
    const std::string e = "\xc3\xa9";
    std::string longLine = "xy";
    while (longLine.size() < 3 * kTitleLimit) {
        longLine += "a" + e;  // a cut at the limit would split an "é"
    }
    const std::string capped(utf8Prefix(longLine, kTitleLimit));
    ASSERT_LT(capped.size(), kTitleLimit);
    const std::string far(kTitleSearchLimit, ' ');
    const std::string deepRtf = "{\\rtf1 " + std::string(2 * kTitleSearchLimit, '{');
    const struct {
        const char* name;
        std::string content;
        std::string title;
    } cases[] = {
        {"long.txt", longLine + "\r\nsecond", capped},
        {"long.htm", "<title>" + longLine + "</title>", capped},
        {"long-unclosed.htm", "<title>" + longLine + far + "</title>", "long-unclosed"},
        {"far.htm", far + "<title>Far</title>", "far"},
        {"deep-rtf.txt", deepRtf, "{\\rtf1 " + std::string(kTitleLimit - 7, '{')},
        {"deep-rtf.htm", deepRtf + "<title>x</title>", "deep-rtf"},
        {"long-rtf.htm", "{\\rtf1 <title>Rich</title>\\par " + far + "}", "Rich"},
        {"unclosed-rtf.htm", "{\\rtf1 <title>Rich</title>\\par " + far, "Rich"},
    };
    test::TempDir dir;
    test::FakeFileSystem files;
    for (const auto& c : cases) {
        dir.write(c.name, c.content);
        files.bytesRead = 0;
        EXPECT_EQ(extractPageTitle(files, dir / c.name), c.title) << c.name;
        EXPECT_LE(files.bytesRead, kTitleSearchLimit) << c.name;
    }
}

TEST(PageTitle, ImagesAndOtherTypesAreNotRead) {
    test::TempDir dir;
    test::FakeFileSystem files;
    dir.write("logo.gif", "GIF89a");
    dir.write("Photo.JPG", "x");
    EXPECT_EQ(extractPageTitle(files, dir / "logo.gif"), "logo");
    EXPECT_EQ(extractPageTitle(files, dir / "Photo.JPG"), "Photo");
    EXPECT_EQ(extractPageTitle(files, dir / "gone.bmp"), "gone");
    EXPECT_EQ(files.opened, 0);
}

TEST(PageTitle, UnreadablePageFailsWithCannotOpen) {
    test::TempDir dir;
    test::FakeFileSystem files;
    const std::string locked = dir.write("locked.htm", "<title>x</title>");
    files.locked.insert(locked);
    EXPECT_THROW(extractPageTitle(files, locked), Error);
    EXPECT_THROW(extractPageTitle(files, dir / "missing.txt"), Error);
}

// The title rules applied literally to the whole file: every page line, joined, searched.
std::string wholeFileTitle(platform::FileSystem& files, const std::string& name) {
    const std::vector<std::string> lines = loadPageLines(files, name);
    const std::string joined = joinedText(lines);
    const std::string lower = lowerAZ(joined);
    const auto open = lower.find("<title>");
    const auto close = lower.find("</title>");
    if (lines.empty() || open == std::string::npos || close == std::string::npos || close < open) {
        return defaultPageTitle(name);
    }
    const std::string taken = joined.substr(open + 7, close - open - 7);
    return trimmed(taken).empty() ? defaultPageTitle(name) : taken;
}

TEST(PageTitle, StoppingEarlyGivesTheSameTitleAsReadingEverything) {
    const std::vector<std::string> pieces = {
        "<title>", "</title>", "<TITLE>", "</Title>", "<tit", "le>",
        "</",      "title>",   "\r",      "\n",       "\r\n", " ",
        "a",       "B",        "\xc3",    "\xa9",     "<",    std::string(1, '\0')};
    std::mt19937 random(7);
    test::FakeFileSystem files;
    for (int round = 0; round < 3000; ++round) {
        std::string page;
        const int count = static_cast<int>(random() % 14);
        for (int i = 0; i < count; ++i) {
            page += pieces[random() % pieces.size()];
        }
        const std::string name = "/pages/page.htm";
        files.inMemory[name] = page;
        files.chunk = 1 + random() % 9;
        ASSERT_EQ(extractPageTitle(files, name), wholeFileTitle(files, name))
            << "page " << testing::PrintToString(page) << " chunk " << files.chunk;
    }
}

}  // namespace
}  // namespace pelmaro
