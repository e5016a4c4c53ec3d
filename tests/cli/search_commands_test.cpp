#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "page/shown_title.h"
#include "platform/file_system.h"
#include "platform/line_list.h"
#include "platform/list_control.h"
#include "search/full_text_search.h"
#include "search/title_search.h"
#include "tests/cli/cli_runner.h"
#include "tests/support/fakes.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

std::string lines(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) {
        out += item + "\n";
    }
    return out;
}

// A stored catalogue of generated pages: plain text, markup, line breaks inside words, NULs,
// RTF, an image, bytes that aren't UTF-8.
class CliCatalogue : public ::testing::Test {
protected:
    void SetUp() override {
        std::mt19937 random(7);
        const std::vector<std::string> pieces = {
            "Setup", "set\r\nup",          "SET",      "up",           "guide", "<b>",
            "\r\n",  std::string(1, '\0'), "\xff\xfe", "Na\xc3\xafve", "index", "reader"};
        for (int n = 0; n < 60; ++n) {
            std::string bytes;
            for (int k = 0; k < 12; ++k) {
                bytes += pieces[random() % pieces.size()] + " ";
            }
            if (n % 10 == 3) {
                bytes = "{\\rtf1\\ansi " + bytes.substr(0, bytes.find('\0')) + "}";
            }
            paths.push_back(dir.write("pages/p" + std::to_string(n) + ".htm", bytes));
            // Titles never hold line breaks or NULs: they are lines of a line-list file.
            std::string title = pieces[random() % pieces.size()];
            if (title.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
                title = "plain";
            }
            titles.push_back(title + " guide " + std::to_string(n));
        }
        paths.push_back(dir.write("pages/logo.gif", "GIF89a setup"));
        titles.push_back("logo");
        writeCatalogue();
    }

    void writeCatalogue() {
        platform::PosixFileSystem files;
        files.writeFile(pathFile, formatLineList(paths));
        files.writeFile(dir / "pelmaropath.title", formatLineList(titles));
    }

    // What the full-text loop finds for `text` on this catalogue by `rule`, with the titles as
    // shown, or as stored for the stored-bytes rule.
    std::vector<std::string> windowResults(const std::string& text,
                                           TextRule rule = TextRule::Shown) {
        platform::PosixFileSystem files;
        TitleDecoder decoder(files);
        std::vector<std::string> results;
        searchFiles(files, paths, text, {},
                    {.reading = {},
                     .found =
                         [&](std::size_t n) {
                             const std::string title = rule == TextRule::StoredBytes
                                                           ? titles[n]
                                                           : decoder.decode(titles[n], paths[n]);
                             results.push_back(makeEntryReference(title, static_cast<int>(n)));
                         },
                     .skipped = {}},
                    rule);
        return results;
    }

    // Every stop of the window's Search for `text`, as entry references.
    std::vector<std::string> windowTitleStops(const std::string& text) {
        platform::MemoryList titleList(titles);
        test::ScriptedDialogs dialogs;
        TitleSearch search(titleList, dialogs, [] {});
        dialogs.inputAnswers.push_back(text);
        std::vector<std::string> stops;
        for (search.findNext(); !search.searchText().empty(); search.findNext()) {
            stops.push_back(makeEntryReference(titleList.item(titleList.selectedIndex()),
                                               titleList.selectedIndex()));
        }
        return stops;
    }

    test::TempDir dir;
    std::vector<std::string> paths;
    std::vector<std::string> titles;
    const std::string pathFile = dir / "pelmaropath.path";
};

TEST_F(CliCatalogue, searchPrintsWhatTheResultListShows) {
    for (const std::string text : {"setup", "SETUP", "naïve", "guide", "set up"}) {
        const std::vector<std::string> expected = windowResults(text);
        ASSERT_FALSE(expected.empty()) << text;
        const test::CliRun run = test::runCliIn(dir, "", {"search", pathFile, text});
        EXPECT_EQ(run.status, 0) << text << ": " << run.err;
        EXPECT_EQ(run.out, lines(expected)) << text;
    }
}

TEST_F(CliCatalogue, rawSearchMatchesAndPrintsTheStoredBytes) {
    for (const std::string text : {"setup", "SETUP", "naïve", "guide", "\xff\xfe"}) {
        const std::vector<std::string> expected = windowResults(text, TextRule::StoredBytes);
        ASSERT_FALSE(expected.empty()) << text;
        const test::CliRun run = test::runCliIn(dir, "", {"search", "--raw", pathFile, text});
        EXPECT_EQ(run.status, 0) << text << ": " << run.err;
        EXPECT_EQ(run.out, lines(expected)) << text;
    }
}

TEST_F(CliCatalogue, rawTitlesPrintsEveryStopOfTheByteTitleSearch) {
    for (const std::string text : {"guide", "SET", "guide 1", "\xff"}) {
        const std::vector<std::string> expected = windowTitleStops(text);
        ASSERT_FALSE(expected.empty()) << text;
        const test::CliRun run = test::runCliIn(dir, "", {"titles", "--raw", pathFile, text});
        EXPECT_EQ(run.status, 0) << text << ": " << run.err;
        EXPECT_EQ(run.out, lines(expected)) << text;
    }
}

TEST_F(CliCatalogue, titlesPrintsTheTitlesAsShown) {
    platform::PosixFileSystem files;
    std::vector<std::string> shown;
    for (std::size_t n = 0; n < titles.size(); ++n) {
        shown.push_back(decodeShownTitle(files, titles[n], paths[n]));
    }
    for (const std::string text : {"guide", "SET", "guide 1", "NAÏVE"}) {
        std::string expected;
        for (const int index : findTitles(platform::TextList(titles), shown, text)) {
            expected += makeEntryReference(shown[static_cast<std::size_t>(index)], index) + "\n";
        }
        ASSERT_FALSE(expected.empty()) << text;
        const test::CliRun run = test::runCliIn(dir, "", {"titles", pathFile, text});
        EXPECT_EQ(run.status, 0) << text << ": " << run.err;
        EXPECT_EQ(run.out, expected) << text;
    }
}

// The examples users gave: what the page shows is found, its markup is not, and the title is
// printed as shown unless --raw asks for the stored bytes.
TEST(CliSearch, findsWhatPagesShowAndPrintsShownTitles) {
    test::TempDir dir;
    const std::vector<std::string> paths = {
        dir.write("a.htm",
                  "<title>Streams</title><div class=\"navheader\">"
                  "<code>operator&lt;&lt;</code></div>"),
        dir.write("b.htm", "<meta charset=\"iso-8859-1\"><title>\xC9T\xC9</title>"),
        dir.write("c.htm", "<title>Chapter&nbsp;9. Functions</title><p>caf&eacute;"),
        dir.write("d.htm", "<title>Caf&eacute; &amp; cr\xC3\xA8me</title><p>caf\xC3\xA9"),
    };
    const std::vector<std::string> titles = {"Streams", "\xC9T\xC9", "Chapter&nbsp;9. Functions",
                                             "Caf&eacute; &amp; cr\xC3\xA8me"};
    platform::PosixFileSystem files;
    files.writeFile(dir / "pelmaropath.path", formatLineList(paths));
    files.writeFile(dir / "pelmaropath.title", formatLineList(titles));
    const std::string pathFile = dir / "pelmaropath.path";
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const Case cases[] = {
        {{"search", pathFile, "operator<<"}, "Streams|0\n"},
        {{"search", pathFile, "navheader"}, ""},
        {{"search", pathFile, "été"}, "ÉTÉ|1\n"},
        {{"search", pathFile, "chapter 9"}, "Chapter\u00A09. Functions|2\n"},
        {{"search", pathFile, "CAFÉ"}, "Chapter\u00A09. Functions|2\nCafé & crème|3\n"},
        {{"search", "--raw", pathFile, "café"}, "Caf&eacute; &amp; cr\xC3\xA8me|3\n"},
        {{"search", "--raw", pathFile, "navheader"}, "Streams|0\n"},
        {{"titles", pathFile, "chapter 9"}, "Chapter\u00A09. Functions|2\n"},
        {{"titles", pathFile, "café &"}, "Café & crème|3\n"},
        {{"titles", "--raw", pathFile, "chapter 9"}, ""},
        {{"titles", "--raw", pathFile, "&amp;"}, "Caf&eacute; &amp; cr\xC3\xA8me|3\n"},
    };
    for (const Case& c : cases) {
        const test::CliRun run = test::runCliIn(dir, "", c.args);
        EXPECT_EQ(run.status, c.out.empty() ? 1 : 0) << c.args[2] << ": " << run.err;
        EXPECT_EQ(run.out, c.out) << c.args[2] << " " << c.args.back();
    }
}

TEST_F(CliCatalogue, exitStatusTellsHitsFromMissesFromErrors) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int status;
        bool quiet;  // nothing on stderr
    };
    const Case cases[] = {
        {"no hit", {"search", pathFile, "absent words"}, 1, true},
        {"no title", {"titles", pathFile, "absent words"}, 1, true},
        {"empty text finds nothing", {"search", pathFile, ""}, 1, true},
        {"line break in the raw text finds nothing",
         {"search", "--raw", pathFile, "set\nup"},
         1,
         true},
        {"white space alone finds nothing", {"search", pathFile, " \n "}, 1, true},
        {"missing catalogue", {"search", dir / "none.path", "setup"}, 2, false},
        {"missing titles", {"titles", dir / "none.path", "setup"}, 2, false},
        {"too few arguments", {"search", pathFile}, 2, false},
        {"too many arguments", {"titles", pathFile, "a", "b"}, 2, false},
        {"--raw and too few arguments", {"search", "--raw", pathFile}, 2, false},
    };
    for (const Case& c : cases) {
        const test::CliRun run = test::runCliIn(dir, "", c.args);
        EXPECT_EQ(run.status, c.status) << c.what;
        EXPECT_EQ(run.out, "") << c.what;
        EXPECT_EQ(run.err.empty(), c.quiet) << c.what << ": " << run.err;
    }
}

TEST_F(CliCatalogue, unreadableFileIsReportedAndTheOtherHitsStillPrinted) {
    platform::PosixFileSystem files;
    files.removeFile(paths[0]);
    const std::vector<std::string> expected = windowResults("guide");
    const test::CliRun run = test::runCliIn(dir, "", {"search", pathFile, "guide"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, lines(expected));
    EXPECT_NE(run.err.find("Cannot open file \"" + paths[0] + "\""), std::string::npos) << run.err;
}

}  // namespace
}  // namespace pelmaro
