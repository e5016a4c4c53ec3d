#include "search/full_text_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/list_control.h"
#include "search/text_matcher.h"
#include "tests/support/fakes.h"
#include "tests/support/forwarding_files.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

// The real file system, recording which files are opened; reading a file named in `failingReads`
// fails as a disk error would.
class RecordingFileSystem final : public test::ForwardingFileSystem {
public:
    std::unique_ptr<platform::InputFile> openForReading(const std::string& fileName) override {
        opened.push_back(fileName);
        auto file = real_.openForReading(fileName);
        if (failingReads.count(fileName) != 0) {
            return std::make_unique<FailingFile>();
        }
        return file;
    }

    std::vector<std::string> opened;
    std::set<std::string> failingReads;

private:
    struct FailingFile final : platform::InputFile {
        std::size_t read(char*, std::size_t) override {
            throw Error("Cannot read file. I/O error");
        }
    };
};

// A catalogue of generated files and every service the search talks to, wired as the window
// wires them.
struct FullSearchFixture {
    FullSearchFixture()
        : search(Catalogue{titles, paths}, results, bookmarks, command, window, dialogs, files,
                 gate) {}

    // Adds a catalogue entry "<name> title" whose file holds `bytes`; returns its path.
    std::string addPage(const std::string& name, const std::string& bytes) {
        const std::string path = dir.write(name, bytes);
        paths.add(path);
        titles.add(name + " title");
        return path;
    }

    // One Full search with `text` typed into the question.
    void searchFor(const std::string& text) {
        dialogs.inputAnswers.push_back(text);
        search.Fullsearch1Click();
    }

    test::TempDir dir;
    platform::MemoryList titles;
    platform::MemoryList paths;
    platform::MemoryList results;
    platform::MemoryList bookmarks;
    test::FakeMenuItem command{"&Full search"};
    test::FakeWindow window;
    test::ScriptedDialogs dialogs;
    RecordingFileSystem files;
    platform::LongCommandGate gate;
    FullTextSearch search;
};

TEST(FileContainsText, answersByThePageTextOfTheFile) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    struct Case {
        std::string bytes;
        std::string text;
        bool found;
    };
    const Case cases[] = {
        {"<h1>SETUP</h1>", "Setup", true},
        {"install: set\r\nup", "Setup", true},
        {"setup\0", "", false},
        {std::string("x\0setup", 7), "setup", false},
        {"{\\rtf1 \\b SETUP\\b0}", "setup", true},
        {"{\\rtf1 \\b SETUP\\b0}", "rtf1", false},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = dir.write("page" + std::to_string(n++) + ".htm", c.bytes);
        EXPECT_EQ(FileContainsText(files, name, c.text), c.found) << c.text << " in " << c.bytes;
    }
    EXPECT_THROW(FileContainsText(files, dir / "gone.htm", "setup"), Error);
}

TEST(FullTextSearch, listsEveryHitAsEntryReferenceAndEndsIdle) {
    FullSearchFixture f;
    f.addPage("upper.htm", "<p>SETUP</p>");
    f.addPage("other.htm", "<p>nothing here</p>");
    f.addPage("split.txt", "set\r\nup");
    f.bookmarks.setVisible(true);

    f.searchFor("Setup");

    EXPECT_EQ(f.results.items(),
              (std::vector<std::string>{"upper.htm title|0", "split.txt title|2"}));
    EXPECT_EQ(f.dialogs.inputs,
              (std::vector<std::string>{"please enter a string to search: pelmaro"}));
    EXPECT_TRUE(f.results.isVisible());
    EXPECT_FALSE(f.bookmarks.isVisible());
    EXPECT_EQ(f.window.captions.front(), "search start1 total is 3");
    EXPECT_EQ(f.window.caption(), "found 100%");
    EXPECT_EQ(f.command.label(), "&Full search");
    EXPECT_FALSE(f.gate.busy());
    EXPECT_GE(f.window.pumps, 3);
}

TEST(FullTextSearch, secondSearchAppendsASecondCopyOfEveryHit) {
    FullSearchFixture f;
    f.addPage("a.htm", "setup");
    f.addPage("b.htm", "no");
    f.searchFor("setup");
    f.searchFor("SETUP");
    EXPECT_EQ(f.results.items(), (std::vector<std::string>{"a.htm title|0", "a.htm title|0"}));
}

TEST(FullTextSearch, stopAfterTheNthFileKeepsOnlyTheHitsBeforeIt) {
    FullSearchFixture f;
    f.results.add("earlier|7");
    for (int n = 0; n < 25; ++n) {
        f.addPage("p" + std::to_string(n) + ".htm", "setup");
    }
    // The user presses F11 while the tenth file has been searched: the pump before the eleventh.
    f.window.onPump = [&] {
        EXPECT_EQ(f.command.label(), "&Stop search");
        EXPECT_TRUE(f.gate.busy());
        if (f.window.pumps == 11) {
            f.search.Fullsearch1Click();
        }
    };
    f.searchFor("setup");

    ASSERT_EQ(f.results.count(), 11);
    EXPECT_EQ(f.results.item(0), "earlier|7");
    EXPECT_EQ(f.results.item(10), "p9.htm title|9");
    EXPECT_EQ(f.files.opened.size(), 10u);  // the stop is seen before the next file is read
    EXPECT_TRUE(f.search.StopRequested);
    EXPECT_EQ(f.window.caption(), "found 100%");
    EXPECT_NE(std::find(f.window.captions.begin(), f.window.captions.end(), "terminate"),
              f.window.captions.end());
    EXPECT_EQ(f.command.label(), "&Full search");

    // The next F11 starts a new search at once.
    f.window.onPump = nullptr;
    f.searchFor("setup");
    EXPECT_EQ(f.results.count(), 11 + 25);
}

TEST(FullTextSearch, pressingF11AgainWhileStoppingNeverStartsANestedSearch) {
    FullSearchFixture f;
    f.addPage("a.htm", "setup");
    f.addPage("b.htm", "setup");
    f.window.onPump = [&] {
        if (f.window.pumps == 2) {
            f.search.Fullsearch1Click();  // stop
            f.search.Fullsearch1Click();  // an unscripted question would throw here
        }
    };
    f.searchFor("setup");
    EXPECT_EQ(f.results.items(), std::vector<std::string>{"a.htm title|0"});
    EXPECT_EQ(f.dialogs.inputs.size(), 1u);
}

TEST(FullTextSearch, stopInsideAHugeFileAbandonsItAtOnce) {
    FullSearchFixture f;
    f.addPage("huge.txt", std::string(3 * FileTextScanner::kBytesBetweenPauses, 'a') + "setup");
    f.addPage("small.txt", "setup");
    f.window.onPump = [&] {
        if (f.window.pumps == 2) {  // the first pause inside huge.txt
            f.search.Fullsearch1Click();
        }
    };
    f.searchFor("setup");
    EXPECT_EQ(f.results.count(), 0);
    EXPECT_EQ(f.files.opened.size(), 1u);
    EXPECT_EQ(f.window.caption(), "found 100%");
}

TEST(FullTextSearch, closingTheWindowEndsTheSearch) {
    FullSearchFixture f;
    f.addPage("a.htm", "setup");
    f.addPage("b.htm", "setup");
    f.window.onPump = [&] { f.window.closing = f.window.pumps == 2; };
    f.searchFor("setup");
    EXPECT_EQ(f.results.items(), std::vector<std::string>{"a.htm title|0"});
    EXPECT_EQ(f.command.label(), "&Full search");
}

TEST(FullTextSearch, unreadableFilesAreSkippedAndTheSearchGoesOn) {
    FullSearchFixture f;
    f.addPage("a.htm", "setup");
    f.paths.add(f.dir / "removed.htm");
    f.titles.add("removed");
    f.paths.add(f.dir.mkdir("folder.htm"));
    f.titles.add("folder");
    f.files.failingReads.insert(f.addPage("bad-disk.htm", "setup"));
    f.addPage("e.htm", "SETUP");

    f.searchFor("setup");

    EXPECT_EQ(f.results.items(), (std::vector<std::string>{"a.htm title|0", "e.htm title|4"}));
    EXPECT_EQ(f.window.caption(), "found 100%");
    EXPECT_EQ(f.command.label(), "&Full search");
}

TEST(FullTextSearch, hitWithoutATitleFailsButLeavesTheCommandIdle) {
    FullSearchFixture f;
    f.addPage("a.htm", "setup");
    f.paths.add(f.dir.write("untitled.htm", "setup"));
    EXPECT_THROW(f.searchFor("setup"), Error);
    EXPECT_EQ(f.results.items(), std::vector<std::string>{"a.htm title|0"});
    EXPECT_EQ(f.command.label(), "&Full search");
    EXPECT_FALSE(f.gate.busy());
}

// What one press of F11 does from each state, when no search of ours is in its loop.
TEST(FullTextSearch, commandStatesWithoutARunningSearch) {
    struct Case {
        const char* what;
        bool emptyCatalogue;
        std::string label;
        bool gateBusy;
        std::optional<std::string> answer;  // nullopt: the question must not be asked
        bool cancel;
        std::string expectedLabel;
        std::vector<std::string> expectedCaptions;
        bool expectedResultsVisible;
    };
    const Case cases[] = {
        {"empty catalogue does nothing",
         true,
         "&Full search",
         false,
         std::nullopt,
         false,
         "&Full search",
         {},
         false},
        {"empty catalogue keeps any label",
         true,
         "S&top search",
         false,
         std::nullopt,
         false,
         "S&top search",
         {},
         false},
        {"a build holds the gate",
         false,
         "&Full search",
         true,
         std::nullopt,
         false,
         "&Full search",
         {},
         false},
        {"label left on stop resets to idle",
         false,
         "S&top search",
         false,
         std::nullopt,
         false,
         "&Full search",
         {"terminate"},
         false},
        {"cancelled question restores the label",
         false,
         "&Full search",
         false,
         "",
         true,
         "&Full search",
         {},
         false},
        {"search runs through",
         false,
         "&Full search",
         false,
         "setup",
         false,
         "&Full search",
         {"search start1 total is 1", "found 100%"},
         true},
    };
    for (const Case& c : cases) {
        FullSearchFixture f;
        if (!c.emptyCatalogue) {
            f.addPage("a.htm", "setup");
        }
        f.command.setLabel(c.label);
        std::optional<platform::LongCommandGate::Hold> build;
        if (c.gateBusy) {
            build.emplace(f.gate);
        }
        if (c.answer) {
            f.dialogs.inputAnswers.push_back(c.cancel ? std::nullopt : c.answer);
        }
        f.search.Fullsearch1Click();
        EXPECT_EQ(f.command.label(), c.expectedLabel) << c.what;
        EXPECT_EQ(f.window.captions, c.expectedCaptions) << c.what;
        EXPECT_EQ(f.results.isVisible(), c.expectedResultsVisible) << c.what;
        EXPECT_EQ(f.dialogs.inputs.size(), c.answer ? 1u : 0u) << c.what;
        EXPECT_EQ(f.gate.busy(), c.gateBusy) << c.what;
    }
}

TEST(FullTextSearch, resultTogglesTheResultListAndHidesTheBookmarks) {
    FullSearchFixture f;
    f.bookmarks.setVisible(true);
    f.search.Result1Click();
    EXPECT_TRUE(f.results.isVisible());
    EXPECT_FALSE(f.bookmarks.isVisible());
    f.search.Result1Click();
    EXPECT_FALSE(f.results.isVisible());
}

}  // namespace
}  // namespace pelmaro
