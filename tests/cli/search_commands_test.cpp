#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "catalogue/line_list.h"
#include "platform/file_system.h"
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

    // What the window's Full search lists for `text` on this catalogue.
    std::vector<std::string> windowResults(const std::string& text) {
        platform::PosixFileSystem files;
        std::vector<std::string> results;
        searchFiles(files, paths, text, {},
                    {.reading = {},
                     .found =
                         [&](std::size_t n) {
                             results.push_back(makeEntryReference(titles[n], static_cast<int>(n)));
                         },
                     .skipped = {}});
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
    for (const std::string text : {"setup", "SETUP", "naïve", "guide", "\xff\xfe"}) {
        const std::vector<std::string> expected = windowResults(text);
        ASSERT_FALSE(expected.empty()) << text;
        const test::CliRun run = test::runCliIn(dir, "", {"search", pathFile, text});
        EXPECT_EQ(run.status, 0) << text << ": " << run.err;
        EXPECT_EQ(run.out, lines(expected)) << text;
    }
}

TEST_F(CliCatalogue, titlesPrintsEveryStopOfTheTitleSearch) {
    for (const std::string text : {"guide", "SET", "guide 1", "\xff"}) {
        const std::vector<std::string> expected = windowTitleStops(text);
        ASSERT_FALSE(expected.empty()) << text;
        const test::CliRun run = test::runCliIn(dir, "", {"titles", pathFile, text});
        EXPECT_EQ(run.status, 0) << text << ": " << run.err;
        EXPECT_EQ(run.out, lines(expected)) << text;
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
        {"line break in the text finds nothing", {"search", pathFile, "set\nup"}, 1, true},
        {"missing catalogue", {"search", dir / "none.path", "setup"}, 2, false},
        {"missing titles", {"titles", dir / "none.path", "setup"}, 2, false},
        {"too few arguments", {"search", pathFile}, 2, false},
        {"too many arguments", {"titles", pathFile, "a", "b"}, 2, false},
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
