#include "bookmarks/bookmarks.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "platform/error.h"
#include "tests/support/checks.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/fakes.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

using test::errorOf;
using test::inodeOf;

using Lines = std::vector<std::string>;

// The window's lists with a catalogue of three entries stored as "help/pelmaropath.*", and the
// bookmarks following the current catalogue as the window wires them.
class BookmarkTest : public testing::Test {
protected:
    BookmarkTest() {
        current.setOnSwitch([this] { bookmarks.followCatalogue(); });
        dir.mkdir("help");
    }

    void startWith(const std::string& bookmarkFile) {
        current.restore(bookmarkFile);
        bookmarks.loadAtStart();
    }
    void bookmarkEntry(int index) {
        titles.select(index);
        bookmarks.addSelectedEntry();
    }
    void deleteBookmark(int index) {
        list.setVisible(true);
        list.select(index);
        bookmarks.deleteSelected();
    }

    test::TempDir dir;
    const std::string helpFile = dir / "help/pelmaropath.bookmark";
    platform::MemoryList titles{{"Alpha", "Beta", "Gamma"}};
    platform::MemoryList list;
    platform::MemoryList results;
    CurrentCatalogue current;
    test::ScriptedDialogs dialogs;
    test::FakeFileSystem files;
    Bookmarks bookmarks{titles, list, results, current, dialogs, files};
};

TEST_F(BookmarkTest, NewBookmarkIsWrittenAtOnce) {
    startWith(helpFile);
    bookmarkEntry(1);
    EXPECT_EQ(list.items(), Lines{"Beta|1"});
    EXPECT_EQ(test::readFile(helpFile), "Beta|1\r\n");
    EXPECT_FALSE(list.isVisible());  // the list need not be shown

    bookmarkEntry(0);
    EXPECT_EQ(test::readFile(helpFile), "Beta|1\r\nAlpha|0\r\n");
}

TEST_F(BookmarkTest, SameEntryTwiceKeepsOneAndLeavesTheFile) {
    startWith(helpFile);
    bookmarkEntry(2);
    const ino_t inode = inodeOf(helpFile);
    bookmarkEntry(2);
    EXPECT_EQ(list.items(), Lines{"Gamma|2"});
    EXPECT_EQ(inodeOf(helpFile), inode);
}

TEST_F(BookmarkTest, NoSelectedEntryAddsNothing) {
    startWith(helpFile);
    bookmarks.addSelectedEntry();
    EXPECT_EQ(list.count(), 0);
    EXPECT_FALSE(files.fileExists(helpFile));
}

TEST_F(BookmarkTest, CatalogueNotSavedIsToldInsteadOfFailing) {
    startWith("");
    bookmarkEntry(0);
    EXPECT_EQ(dialogs.messages, Lines{kCatalogueNotSavedMessage});
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(errorOf([&] { bookmarks.shutdown(); }), "(no error)");
}

TEST_F(BookmarkTest, UnsavedBuildIsToldAndTheStoredCatalogueKeepsItsBookmarks) {
    startWith(helpFile);
    bookmarkEntry(1);
    // A build answered No: the lists show entries whose indexes mean nothing in "help".
    current.showUnsaved();
    bookmarkEntry(2);
    EXPECT_EQ(dialogs.messages, Lines{kCatalogueNotSavedMessage});
    EXPECT_EQ(list.items(), Lines{"Beta|1"});
    EXPECT_EQ(test::readFile(helpFile), "Beta|1\r\n");
}

struct ExistingCase {
    const char* name;
    Lines bookmarks;
    int selected;
    bool added;
    std::string error;
};

void PrintTo(const ExistingCase& c, std::ostream* os) {
    *os << c.name;
}

class ExistingBookmarks : public BookmarkTest, public testing::WithParamInterface<ExistingCase> {};

TEST_P(ExistingBookmarks, AreComparedByTheIndexAfterTheLastBar) {
    const ExistingCase& c = GetParam();
    dir.write("help/pelmaropath.bookmark", formatLineList(c.bookmarks));
    startWith(helpFile);
    EXPECT_EQ(errorOf([&] { bookmarkEntry(c.selected); }), c.error);
    Lines expected = c.bookmarks;
    if (c.added) {
        expected.push_back(makeEntryReference(titles.item(c.selected), c.selected));
    }
    EXPECT_EQ(list.items(), expected);
    EXPECT_EQ(test::readFile(helpFile), formatLineList(expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExistingBookmarks,
    testing::Values(
        ExistingCase{"OtherIndex", {"Alpha|0"}, 1, true, "(no error)"},
        ExistingCase{"SameIndex", {"Alpha|0", "Gamma|2"}, 2, false, "(no error)"},
        ExistingCase{"TitleWithBars", {"a|b|1"}, 1, false, "(no error)"},
        ExistingCase{"HexIndex", {"x|$2"}, 2, false, "(no error)"},
        ExistingCase{"NoBarIsConvertedWhole", {"1"}, 1, false, "(no error)"},
        ExistingCase{
            "NotANumber", {"Alpha|0", "junk|x1z"}, 1, false, "'x1z' is not a valid integer value"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BookmarkTest, DeleteDoesNothingWhenHiddenOrNothingSelected) {
    startWith(helpFile);
    bookmarkEntry(0);
    list.select(0);
    list.setVisible(false);
    bookmarks.deleteSelected();
    EXPECT_EQ(list.items(), Lines{"Alpha|0"});

    list.setVisible(true);
    list.clearSelection();
    bookmarks.deleteSelected();
    EXPECT_EQ(list.items(), Lines{"Alpha|0"});
    EXPECT_EQ(test::readFile(helpFile), "Alpha|0\r\n");
}

TEST_F(BookmarkTest, DeleteRewritesTheFileAndTheLastOneRemovesIt) {
    startWith(helpFile);
    bookmarkEntry(0);
    bookmarkEntry(1);
    deleteBookmark(0);
    EXPECT_EQ(list.items(), Lines{"Beta|1"});
    EXPECT_EQ(test::readFile(helpFile), "Beta|1\r\n");

    deleteBookmark(0);
    EXPECT_EQ(list.count(), 0);
    EXPECT_FALSE(std::filesystem::exists(helpFile));
    bookmarks.shutdown();
    EXPECT_FALSE(std::filesystem::exists(helpFile));
}

TEST_F(BookmarkTest, StoredListUnchangedLeavesTheFileUntouched) {
    const std::string stored = "Gamma|2\nAlpha|0";  // not in the form this program writes
    dir.write("help/pelmaropath.bookmark", stored);
    const ino_t inode = inodeOf(helpFile);
    startWith(helpFile);
    EXPECT_EQ(list.items(), (Lines{"Gamma|2", "Alpha|0"}));
    bookmarkEntry(2);  // already there
    bookmarks.shutdown();
    EXPECT_EQ(inodeOf(helpFile), inode);
    EXPECT_EQ(test::readFile(helpFile), stored);
}

TEST_F(BookmarkTest, EmptyStoredFileIsKept) {
    dir.write("help/pelmaropath.bookmark", "");
    startWith(helpFile);
    bookmarks.shutdown();
    EXPECT_TRUE(std::filesystem::exists(helpFile));
}

TEST_F(BookmarkTest, BookmarkTogglesTheListAndHidesTheResults) {
    results.setVisible(true);
    bookmarks.toggleShown();
    EXPECT_TRUE(list.isVisible());
    EXPECT_FALSE(results.isVisible());
    results.setVisible(true);
    bookmarks.toggleShown();
    EXPECT_FALSE(list.isVisible());
    EXPECT_FALSE(results.isVisible());
}

TEST_F(BookmarkTest, SwitchKeepsTheOldFileAndLoadsTheNewOne) {
    startWith(helpFile);
    bookmarkEntry(0);
    const std::string notes = dir.write("notes/list.bookmark", "Beta|1\r\n");

    current.switchTo(notes);
    EXPECT_EQ(test::readFile(helpFile), "Alpha|0\r\n");
    EXPECT_EQ(list.items(), Lines{"Beta|1"});

    bookmarkEntry(2);
    EXPECT_EQ(test::readFile(notes), "Beta|1\r\nGamma|2\r\n");

    current.switchTo(dir / "none/x.bookmark");
    EXPECT_EQ(list.count(), 0);
    bookmarks.shutdown();
    EXPECT_EQ(test::readFile(helpFile), "Alpha|0\r\n");
    EXPECT_EQ(test::readFile(notes), "Beta|1\r\nGamma|2\r\n");
}

TEST_F(BookmarkTest, FailedWriteIsReportedAndKeptForTheNextWrite) {
    startWith(helpFile);
    files.failingWrites.insert(helpFile);
    const std::string cantCreate =
        "Cannot create file \"" + helpFile + "\". No space left on device";

    EXPECT_EQ(errorOf([&] { bookmarkEntry(1); }), cantCreate);
    EXPECT_EQ(list.items(), Lines{"Beta|1"});  // the list in memory stays
    EXPECT_EQ(errorOf([&] { bookmarks.shutdown(); }), cantCreate);

    files.failingWrites.clear();
    bookmarks.shutdown();
    EXPECT_EQ(test::readFile(helpFile), "Beta|1\r\n");
}

TEST_F(BookmarkTest, SwitchRetriesAFailedWriteAndReportsItAfterSwitching) {
    const std::string notes = dir.write("notes/list.bookmark", "Gamma|2\r\n");
    startWith(helpFile);
    files.failingWrites.insert(helpFile);
    EXPECT_THROW(bookmarkEntry(1), Error);

    files.failingWrites.clear();
    current.switchTo(notes);  // the retry succeeds
    EXPECT_EQ(test::readFile(helpFile), "Beta|1\r\n");
    EXPECT_EQ(list.items(), Lines{"Gamma|2"});

    files.failingWrites.insert(notes);
    EXPECT_THROW(bookmarkEntry(0), Error);
    EXPECT_EQ(errorOf([&] { current.switchTo(helpFile); }),
              "Cannot create file \"" + notes + "\". No space left on device");
    EXPECT_EQ(list.items(), Lines{"Beta|1"});  // switched all the same
    bookmarks.shutdown();                      // nothing pending for the new catalogue
    EXPECT_EQ(test::readFile(helpFile), "Beta|1\r\n");
}

TEST_F(BookmarkTest, ListNeverLoadedLeavesTheFileAndIsReadBeforeTheFirstChange) {
    dir.write("help/pelmaropath.bookmark", "Gamma|2\r\n");
    current.restore(helpFile);  // start-up ended before the bookmarks were loaded
    bookmarks.shutdown();
    EXPECT_EQ(test::readFile(helpFile), "Gamma|2\r\n");

    bookmarkEntry(0);
    EXPECT_EQ(list.items(), (Lines{"Gamma|2", "Alpha|0"}));
    EXPECT_EQ(test::readFile(helpFile), "Gamma|2\r\nAlpha|0\r\n");
}

TEST_F(BookmarkTest, TwoWindowsKeepEachOthersBookmarks) {
    startWith(helpFile);
    platform::MemoryList otherList;
    Bookmarks other{titles, otherList, results, current, dialogs, files};
    other.loadAtStart();

    bookmarkEntry(0);
    titles.select(1);
    other.addSelectedEntry();
    EXPECT_EQ(otherList.items(), (Lines{"Alpha|0", "Beta|1"}));  // the merged file
    bookmarkEntry(2);
    EXPECT_EQ(list.items(), (Lines{"Alpha|0", "Beta|1", "Gamma|2"}));

    otherList.setVisible(true);
    otherList.select(0);
    other.deleteSelected();
    deleteBookmark(1);  // "Beta|1"
    EXPECT_EQ(list.items(), Lines{"Gamma|2"});
    EXPECT_EQ(test::readFile(helpFile), "Gamma|2\r\n");
}

TEST_F(BookmarkTest, TwoProcessesAddingAtOnceLoseNothing) {
    constexpr int kEach = 40;
    std::vector<std::string> many;
    for (int i = 0; i < 2 * kEach; ++i) {
        many.push_back("Entry " + std::to_string(i));
    }
    titles.assign(many);
    startWith(helpFile);
    std::vector<pid_t> children;
    for (int first = 0; first < 2; ++first) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Each process its own window: entries first, first + 2, ...
            platform::MemoryList ownList;
            Bookmarks own{titles, ownList, results, current, dialogs, files};
            own.loadAtStart();
            for (int i = first; i < 2 * kEach; i += 2) {
                titles.select(i);
                own.addSelectedEntry();
            }
            ::_exit(0);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(parseLineList(test::readFile(helpFile)).size(), 2u * kEach);
}

}  // namespace
}  // namespace pelmaro
