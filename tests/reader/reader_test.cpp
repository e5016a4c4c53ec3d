#include "reader/reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <limits>
#include <mutex>
#include <utility>

#include "platform/line_list.h"
#include "platform/settings_file.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/fakes.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

using Lines = std::vector<std::string>;

const char* const kQuestion =
    "Information: save the result ?that last time can open it or load it auto";

// A reader wired to scripted fakes of every service, with its settings in a temporary folder.
// The test's thread plays the window's thread: posted work runs in settle().
struct ReaderRig {
    // No search index is made unless `indexes` names a place for it.
    explicit ReaderRig(const test::TempDir& dir, SearchIndexPlace indexes = {})
        : dataFolder(dir / "data"),
          searchIndexes(std::move(indexes)),
          settings(files, dir / "cfg/settings.reg") {}

    // Runs what long work hands over until no long command runs any more.
    void settle() {
        ASSERT_TRUE(ui.runUntil([this] { return !reader.busy(); }));
    }

    void build(const std::string& folder, std::optional<bool> save) {
        dialogs.folderAnswers.push_back(folder);
        if (save) {
            dialogs.yesNoAnswers.push_back(*save);
        }
        reader.buildFromFolder();
        settle();
    }
    void open(const std::string& pathFile) {
        dialogs.openAnswers.push_back(pathFile);
        reader.openStored();
        settle();
    }
    void searchFor(const std::string& text) {
        dialogs.inputAnswers.push_back(text);
        reader.startOrStopFullSearch();
        settle();
    }

    std::string dataFolder;
    SearchIndexPlace searchIndexes;
    platform::MemoryList titles, paths, bookmarks, results;
    test::FakeWindow window;
    test::ScriptedDialogs dialogs;
    test::FakeFileSystem files;
    platform::SettingsFile settings;
    test::FakePageView page;
    test::FakeMenuItem command{"&Full search"};
    test::FakeUiThread ui;
    Reader reader{{titles, paths, bookmarks, results, window, dialogs, files, settings, page,
                   command, ui, dataFolder, searchIndexes}};
};

// Pages "tree/A.txt", "tree/b.txt", "tree/Sub/c.htm", titled "A", "b", "c".
std::string writeTree(const test::TempDir& dir) {
    dir.write("tree/b.txt", "b\r\nsetup");
    dir.write("tree/A.txt", "A\r\nnothing");
    // A reader sees "SETUP": inline tags part no words.
    dir.write("tree/Sub/c.htm", "<html><title>c</title>SET<b>UP</b>");
    return dir / "tree";
}

TEST(ReaderBuild, SavedBuildBecomesCurrentAndAnUnsavedOneTakesNoBookmarks) {
    test::TempDir dir;
    const std::string tree = writeTree(dir);
    ReaderRig rig(dir);
    rig.build(tree, true);

    EXPECT_EQ(rig.dialogs.folderPrompts, Lines{"please select a path for scan"});
    EXPECT_EQ(rig.dialogs.questions, Lines{kQuestion});
    EXPECT_EQ(rig.titles.items(), (Lines{"A", "b", "c"}));
    EXPECT_EQ(rig.paths.items(), (Lines{tree + "/A.txt", tree + "/b.txt", tree + "/Sub/c.htm"}));
    EXPECT_EQ(rig.window.captions.front(), "please wait...");
    EXPECT_EQ(rig.window.captions.at(rig.window.captions.size() - 2), "loading 2");
    EXPECT_EQ(rig.window.caption(), "sorting...3 total is 3");
    EXPECT_EQ(test::readFile(tree + "/pelmaropath.title"), "A\r\nb\r\nc\r\n");
    EXPECT_EQ(test::readFile(tree + "/pelmaropath.path"), formatLineList(rig.paths.items()));
    EXPECT_EQ(rig.reader.currentCatalogue().bookmarkFile(), tree + "/pelmaropath.bookmark");
    EXPECT_EQ(rig.page.folders, Lines{tree});  // its pages may read the tree they came from

    // Built again and not saved: the stored catalogue stays current, and its bookmark file must
    // not receive indexes of a catalogue no file holds.
    rig.build(tree, false);
    EXPECT_EQ(rig.dialogs.startFolders.back(), tree);  // the picker starts beside the catalogue
    EXPECT_FALSE(rig.reader.currentCatalogue().shownIsStored());
    rig.titles.select(0);
    rig.reader.addBookmark();
    EXPECT_EQ(rig.dialogs.messages, Lines{kCatalogueNotSavedMessage});
    EXPECT_FALSE(std::filesystem::exists(tree + "/pelmaropath.bookmark"));
}

TEST(ReaderBuild, OutcomesThatStoreNothing) {
    struct Case {
        const char* what;
        std::function<std::string(const test::TempDir&, ReaderRig&)> setUp;  // the folder
        std::optional<bool> save;
        Lines titles;
        std::string caption;
        std::string error;
    };
    const Case cases[] = {
        {"picker cancelled",
         [](auto&, auto&) { return std::string(); },
         std::nullopt,
         {"kept"},
         "",
         ""},
        {"no non-empty file",
         [](const test::TempDir& dir, auto&) {
             dir.write("empty/a.htm", "");
             return dir / "empty";
         },
         std::nullopt,
         {"kept"},
         "no files",
         ""},
        {"save fails",
         [](const test::TempDir& dir, ReaderRig& rig) {
             rig.files.failingWrites.insert(dir / "tree/pelmaropath.path");
             return writeTree(dir);
         },
         true,
         {"A", "b", "c"},
         "sorting...3 total is 3",
         "Cannot create file \"PATH\". No space left on device"},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        ReaderRig rig(dir);
        rig.titles.assign({"kept"});
        rig.paths.assign({"/kept.htm"});
        const std::string folder = c.setUp(dir, rig);
        rig.build(folder, c.save);
        EXPECT_EQ(rig.titles.items(), c.titles) << c.what;
        EXPECT_EQ(rig.window.caption(), c.caption) << c.what;
        std::string error = c.error;
        if (const auto at = error.find("PATH"); at != std::string::npos) {
            error.replace(at, 4, dir / "tree/pelmaropath.path");
        }
        EXPECT_EQ(rig.dialogs.errors, error.empty() ? Lines{} : Lines{error}) << c.what;
        EXPECT_EQ(rig.reader.currentCatalogue().bookmarkFile(), "") << c.what;
        EXPECT_FALSE(rig.reader.busy()) << c.what;
    }
}

TEST(ReaderBuild, OtherLongCommandsWaitWhileBrowsingGoesOnAndShutdownStoresNothing) {
    test::TempDir dir;
    for (int i = 0; i < 400; ++i) {
        dir.write("big/p" + std::to_string(i) + ".htm", "<title>t</title>");
    }
    ReaderRig rig(dir);
    rig.titles.assign({"Old"});
    rig.paths.assign({"/old.htm"});
    rig.files.openDelay = std::chrono::milliseconds(5);
    rig.dialogs.folderAnswers.push_back(dir / "big");
    rig.reader.buildFromFolder();
    ASSERT_TRUE(rig.reader.busy());

    // None of these asks anything: an unscripted dialog would throw.
    rig.reader.buildFromFolder();
    rig.reader.openStored();
    rig.reader.startOrStopFullSearch();
    rig.titles.select(0);
    rig.reader.showSelectedPage();
    EXPECT_EQ(rig.page.shown, Lines{"/old.htm"});

    ASSERT_TRUE(rig.ui.runUntil([&] { return rig.window.captions.size() > 1; }));
    rig.reader.shutdown();  // the window closes mid-build
    rig.ui.runPosted();
    EXPECT_FALSE(rig.reader.busy());
    EXPECT_TRUE(rig.dialogs.questions.empty());
    EXPECT_EQ(rig.titles.items(), Lines{"Old"});
    EXPECT_FALSE(std::filesystem::exists(dir / "big/pelmaropath.title"));
    EXPECT_LT(rig.files.opened.load(), 400);
}

TEST(ReaderOpen, LoadsBothFilesOrChangesNothing) {
    test::TempDir dir;
    dir.write("help/notes.title", "Alpha\r\nBeta\r\n");
    dir.write("help/notes.path", "/h/a.htm\r\n/h/b.htm\r\n");
    dir.write("help/notes.bookmark", "Beta|1\r\n");
    dir.write("lost/notes.path", "/h/a.htm\r\n");
    dir.write("locked/notes.title", "X\r\n");
    dir.write("locked/notes.path", "/x.htm\r\n");
    ReaderRig rig(dir);
    rig.files.locked.insert(dir / "locked/notes.path");

    rig.open(dir / "help/notes.path");
    EXPECT_EQ(rig.dialogs.openTitles, Lines{"select saved path database file"});
    EXPECT_EQ(rig.dialogs.openPlaces, Lines{rig.dataFolder});  // where kept catalogues are
    ASSERT_EQ(rig.dialogs.openFilters.size(), 2u);
    EXPECT_EQ(rig.dialogs.openFilters[1].label, "*.*");
    EXPECT_EQ(rig.titles.items(), (Lines{"Alpha", "Beta"}));
    EXPECT_EQ(rig.paths.items(), (Lines{"/h/a.htm", "/h/b.htm"}));
    EXPECT_EQ(rig.bookmarks.items(), Lines{"Beta|1"});
    EXPECT_EQ(rig.reader.currentCatalogue().bookmarkFile(), dir / "help/notes.bookmark");
    EXPECT_TRUE(rig.page.shown.empty());  // no page until a title is chosen
    EXPECT_EQ(rig.page.folders, Lines{dir / "help"});

    rig.open(dir / "lost/notes.path");
    EXPECT_EQ(rig.dialogs.messages, Lines{"path title lost.can't loading"});
    rig.open(dir / "locked/notes.path");
    EXPECT_EQ(rig.dialogs.errors.size(), 1u);
    EXPECT_EQ(rig.dialogs.errors[0].rfind("Cannot open file \"" + (dir / "locked/notes.path"), 0),
              0u);
    rig.dialogs.openAnswers.push_back(std::nullopt);
    rig.reader.openStored();
    EXPECT_EQ(rig.dialogs.startFolders.back(), dir / "help");
    EXPECT_EQ(rig.titles.items(), (Lines{"Alpha", "Beta"}));
    EXPECT_EQ(rig.reader.currentCatalogue().bookmarkFile(), dir / "help/notes.bookmark");
    EXPECT_FALSE(rig.reader.busy());
}

// A stored three-entry catalogue opened in a fresh reader.
struct SearchRig : ReaderRig {
    explicit SearchRig(const test::TempDir& dir) : ReaderRig(dir) {
        const std::string tree = writeTree(dir);
        titles.assign({"A", "b", "c"});
        paths.assign({tree + "/A.txt", tree + "/b.txt", tree + "/Sub/c.htm"});
    }
};

TEST(ReaderFullSearch, ListsHitsInOrderAndAppendsASecondSearch) {
    test::TempDir dir;
    SearchRig rig(dir);
    rig.bookmarks.setVisible(true);
    rig.searchFor("Setup");
    EXPECT_EQ(rig.results.items(), (Lines{"b|1", "c|2"}));
    EXPECT_EQ(rig.dialogs.inputs, Lines{"please enter a string to search: pelmaro"});
    EXPECT_TRUE(rig.results.isVisible());
    EXPECT_FALSE(rig.bookmarks.isVisible());
    EXPECT_EQ(rig.window.captions.front(), "search start1 total is 3");
    EXPECT_EQ(rig.window.caption(), "found 100%");
    EXPECT_EQ(rig.command.label(), "&Full search");

    rig.searchFor("setup");
    EXPECT_EQ(rig.results.items(), (Lines{"b|1", "c|2", "b|1", "c|2"}));

    rig.searchFor("");  // cancelled
    EXPECT_FALSE(rig.results.isVisible());
    EXPECT_EQ(rig.command.label(), "&Full search");
    EXPECT_FALSE(rig.reader.busy());
}

// The names of the text pages the rig's file system opens, from any thread, sorted as they are
// taken.
class OpenedPages {
public:
    explicit OpenedPages(test::FakeFileSystem& files) {
        files.beforeOpen = [this](const std::string& name) {
            const std::lock_guard lock(mutex_);
            if (name.ends_with(".txt")) {
                opened_.push_back(name.substr(name.rfind('/') + 1));
            }
        };
    }
    // Those opened since the last call.
    Lines take() {
        const std::lock_guard lock(mutex_);
        Lines sorted = std::exchange(opened_, {});
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }

private:
    std::mutex mutex_;
    Lines opened_;
};

// A saved catalogue of enough pages gets an index in the background; searches through it list
// exactly what the scan lists, read only the pages it can't rule out, and see pages changed
// since (which has the index built again, here where no page is read again beside it). Without
// a place to keep it, they scan.
TEST(ReaderFullSearch, ALargeStoredCatalogueIsSearchedThroughItsIndex) {
    test::TempDir dir;
    for (int i = 0; i < 6; ++i) {
        dir.write((i >= 4 ? "outside/p" : "tree/p") + std::to_string(i) + ".txt",
                  "p" + std::to_string(i) + "\r\n" + (i % 2 == 1 ? "Alpha beta" : "gamma"));
    }
    std::filesystem::create_symlink(dir / "outside/p4.txt", dir / "tree/p4.txt");
    std::filesystem::create_hard_link(dir / "outside/p5.txt", dir / "tree/p5.txt");
    ReaderRig rig(dir, {.cacheFolder = dir / "cache",
                        .worthFromPages = 4,
                        .build = {.vouchBefore = std::numeric_limits<std::int64_t>::max()},
                        .reindexAtMost = 0});
    int indexChanges = 0;
    rig.reader.setOnSearchIndexChanged([&] { ++indexChanges; });
    rig.build(dir / "tree", true);
    ASSERT_TRUE(rig.ui.runUntil([&] { return rig.reader.searchIndexReady(); }));
    EXPECT_EQ(rig.reader.catalogueStatus(), dir / "tree/pelmaropath.path, 6 entries");

    OpenedPages opened(rig.files);
    rig.searchFor("alpha");
    EXPECT_EQ(rig.results.items(), (Lines{"p1|1", "p3|3", "p5|5"}));
    EXPECT_EQ(opened.take(), (Lines{"p1.txt", "p3.txt", "p5.txt"}));

    // Changed since: read by the search, and indexed again in the background.
    dir.write("tree/p0.txt", "p0\r\nalpha, changed");
    const int before = indexChanges;
    rig.searchFor("ALPHA");
    EXPECT_EQ(rig.reader.searchRuns().back().rows, 4);
    ASSERT_TRUE(rig.ui.runUntil([&] {
        return indexChanges > before &&
               rig.reader.catalogueStatus().find("indexing") == std::string::npos;
    }));
    // From here the cache is held, as another writer would hold it: an index a change calls for
    // is not built, and reads no page, until it is let go.
    const int cacheLock = ::open((dir / "cache").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(cacheLock, LOCK_EX), 0);
    opened.take();
    rig.searchFor("gamma");  // p0 no longer shows it, and the new index knows
    EXPECT_EQ(opened.take(), (Lines{"p2.txt", "p4.txt"}));
    EXPECT_EQ(rig.reader.searchRuns().back().rows, 2);

    // A watch of the tree tells which pages changed: a search looks at their stamps alone, and
    // at those of pages that are links or files with other names (no watch of the tree sees
    // them change elsewhere), and reads no other page the index rules out. Without a watch, it
    // looks at every stamp.
    rig.files.stamped = 0;
    dir.write("tree/p2.txt", "p2\r\nnow delta");
    dir.write("outside/p4.txt", "p4\r\ndelta too");
    dir.write("outside/p5.txt", "p5\r\nAlpha beta delta");
    rig.searchFor("delta");
    EXPECT_EQ(opened.take(), (Lines{"p2.txt", "p4.txt", "p5.txt"}));
    EXPECT_EQ(rig.files.stamped, 3);
    EXPECT_EQ(rig.reader.searchRuns().back().rows, 3);
    const int beforeRebuild = indexChanges;
    ::close(cacheLock);
    ASSERT_TRUE(rig.ui.runUntil([&] {
        return indexChanges > beforeRebuild &&
               rig.reader.catalogueStatus().find("indexing") == std::string::npos;
    }));
    ReaderRig unwatched(dir, rig.searchIndexes);
    unwatched.files.watches = false;
    unwatched.open(dir / "tree/pelmaropath.path");
    ASSERT_TRUE(unwatched.ui.runUntil([&] { return unwatched.reader.searchIndexReady(); }));
    unwatched.files.stamped = 0;
    unwatched.searchFor("nowhere");
    EXPECT_EQ(unwatched.reader.searchRuns().back().rows, 0);
    EXPECT_EQ(unwatched.files.stamped, 6);
    // Opened with a watch, a page's file with another name is watched itself: its stamp is not
    // looked at, and a change through the other name is still heard of.
    ReaderRig watchedAgain(dir, rig.searchIndexes);
    watchedAgain.open(dir / "tree/pelmaropath.path");
    ASSERT_TRUE(watchedAgain.ui.runUntil([&] { return watchedAgain.reader.searchIndexReady(); }));
    watchedAgain.files.stamped = 0;
    watchedAgain.searchFor("nowhere");
    EXPECT_EQ(watchedAgain.files.stamped, 1);  // the link's
    dir.write("outside/p5.txt", "p5\r\nepsilon");
    watchedAgain.searchFor("epsilon");
    EXPECT_EQ(watchedAgain.reader.searchRuns().back().rows, 1);

    // A catalogue of fewer pages is scanned, and a new one drops the old one's index at once.
    ReaderRig small(dir, {.cacheFolder = dir / "cache", .worthFromPages = 7});
    small.open(dir / "tree/pelmaropath.path");
    EXPECT_FALSE(small.reader.searchIndexReady());
}

// A page changed in a watched tree is read again in the background, alone, and kept beside the
// index, which is not built again: searches read it only when its new text may hold theirs.
TEST(ReaderFullSearch, APageChangedInAWatchedTreeIsReadAgainBesideTheIndex) {
    test::TempDir dir;
    for (int i = 0; i < 10; ++i) {
        dir.write("tree/p" + std::to_string(i) + ".txt", "p" + std::to_string(i) + "\r\n" +
                                                             (i == 1 || i == 3 ? "Alpha beta"
                                                              : i < 5          ? "gamma"
                                                                               : "other words"));
    }
    ReaderRig rig(dir, {.cacheFolder = dir / "cache",
                        .worthFromPages = 4,
                        .build = {.vouchBefore = std::numeric_limits<std::int64_t>::max()}});
    int indexChanges = 0;
    rig.reader.setOnSearchIndexChanged([&] { ++indexChanges; });
    rig.build(dir / "tree", true);
    ASSERT_TRUE(rig.ui.runUntil([&] { return rig.reader.searchIndexReady(); }));
    OpenedPages opened(rig.files);

    dir.write("tree/p0.txt", "p0\r\nalpha, changed");
    const int before = indexChanges;
    rig.searchFor("alpha");
    EXPECT_EQ(rig.results.items(), (Lines{"p0|0", "p1|1", "p3|3"}));
    ASSERT_TRUE(rig.ui.runUntil([&] { return indexChanges > before; }));
    EXPECT_EQ(opened.take(), (Lines{"p0.txt", "p0.txt", "p1.txt", "p3.txt"}));
    EXPECT_EQ(rig.reader.catalogueStatus(), dir / "tree/pelmaropath.path, 10 entries");

    rig.searchFor("gamma");  // the index says p0 held it, p0 read again says no more
    EXPECT_EQ(rig.reader.searchRuns().back().rows, 2);
    EXPECT_EQ(opened.take(), (Lines{"p2.txt", "p4.txt"}));
    rig.searchFor("changed");  // and the other way round
    EXPECT_EQ(rig.results.items()[rig.results.items().size() - 1], "p0|0");
    EXPECT_EQ(rig.reader.searchRuns().back().rows, 1);
    EXPECT_EQ(opened.take(), (Lines{"p0.txt"}));
}

TEST(ReaderFullSearch, ClosingStopsIndexingAndTheNextStartIndexesAgain) {
    test::TempDir dir;
    for (int i = 0; i < 40; ++i) {
        dir.write("tree/p" + std::to_string(i) + ".txt", "p\r\nword");
    }
    const SearchIndexPlace place{.cacheFolder = dir / "cache", .worthFromPages = 2};
    const auto indexFiles = [&] {
        int n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir / "cache")) {
            n += entry.path().extension() == ".trigrams" ? 1 : 0;
        }
        return n;
    };
    {
        ReaderRig rig(dir, place);
        rig.files.openDelay = std::chrono::milliseconds(20);
        rig.build(dir / "tree", true);
        ASSERT_TRUE(rig.ui.runUntil([&] {
            return rig.reader.catalogueStatus().find("indexing for search: ") != std::string::npos;
        }));
        rig.reader.shutdown();
    }
    EXPECT_EQ(indexFiles(), 0);  // nothing half-built is kept
    ReaderRig next(dir, place);
    next.reader.start();
    ASSERT_TRUE(next.ui.runUntil([&] { return next.reader.searchIndexReady(); }));
    EXPECT_EQ(indexFiles(), 1);
}

TEST(ReaderFullSearch, AnIndexThatCannotBeStoredLeavesTheScan) {
    test::TempDir dir;
    for (int i = 0; i < 4; ++i) {
        dir.write("tree/p" + std::to_string(i) + ".txt", "p\r\nword");
    }
    ReaderRig rig(dir, {.cacheFolder = dir / "cache", .worthFromPages = 2});
    rig.files.failingWrites.insert(dir / "cache");
    rig.build(dir / "tree", true);
    ASSERT_TRUE(rig.ui.runUntil([&] {
        return rig.reader.catalogueStatus().find("search index not kept: ") != std::string::npos;
    }));
    rig.searchFor("word");
    EXPECT_EQ(rig.reader.searchRuns().back().rows, 4);
    EXPECT_TRUE(rig.dialogs.errors.empty());
}

TEST(ReaderFullSearch, StopsOnTheCommandAndOnShutdown) {
    for (const bool byShutdown : {false, true}) {
        test::TempDir dir;
        ReaderRig rig(dir);
        Lines paths;
        for (int i = 0; i < 300; ++i) {
            paths.push_back(dir.write("p" + std::to_string(i) + ".htm", "hit"));
        }
        rig.paths.assign(paths);
        rig.titles.assign(Lines(paths.size(), "t"));
        rig.files.openDelay = std::chrono::milliseconds(2);
        rig.dialogs.inputAnswers.push_back("hit");
        rig.reader.startOrStopFullSearch();
        ASSERT_TRUE(rig.ui.runUntil([&] { return rig.results.count() > 0; }));
        if (byShutdown) {
            rig.reader.shutdown();
            rig.ui.runPosted();
        } else {
            rig.reader.startOrStopFullSearch();
            EXPECT_EQ(rig.window.caption(), "terminate");
            rig.settle();
            EXPECT_EQ(rig.window.caption(), "found 100%");
        }
        EXPECT_EQ(rig.command.label(), "&Full search") << byShutdown;
        EXPECT_FALSE(rig.reader.busy()) << byShutdown;
        EXPECT_LT(rig.results.count(), 300) << byShutdown;
        EXPECT_LT(rig.files.opened.load(), 300) << byShutdown;
    }
}

TEST(ReaderFullSearch, HitOnAPathWithoutATitleEndsTheSearchWithTheError) {
    test::TempDir dir;
    SearchRig rig(dir);
    rig.titles.assign({"A"});
    rig.searchFor("setup");
    EXPECT_EQ(rig.dialogs.errors, Lines{"List index out of bounds (1)"});
    EXPECT_EQ(rig.command.label(), "&Full search");
    EXPECT_FALSE(rig.reader.busy());
}

TEST(ReaderPages, JumpsFromTheOverlaysShowTheEntry) {
    test::TempDir dir;
    SearchRig rig(dir);
    rig.bookmarks.assign({"c|2", "A|0"});
    rig.bookmarks.setVisible(true);
    rig.reader.jumpFromBookmark();  // a double click beside the items does nothing
    EXPECT_TRUE(rig.bookmarks.isVisible());
    rig.bookmarks.select(0);
    rig.reader.jumpFromBookmark();
    EXPECT_EQ(rig.titles.selectedIndex(), 2);
    EXPECT_EQ(rig.page.shown, Lines{dir / "tree/Sub/c.htm"});
    EXPECT_FALSE(rig.bookmarks.isVisible());

    rig.results.setVisible(true);  // empty: the jump only hides it
    rig.reader.jumpFromResult();
    EXPECT_FALSE(rig.results.isVisible());
}

TEST(ReaderPages, ABookmarkOpensTheEntryOfItsTitleOrSaysItIsStale) {
    struct Case {
        const char* bookmark;
        int entry;  // -1: stale, nothing shown
    };
    // Entries "A", "b", "c"; "b|1" twice over after a re-save that moved it.
    const Case cases[] = {
        {"b|1", 1},                // title and index agree
        {"c|0", 2},                // a re-save moved it: found again by its title
        {"b|7", 1},                // past the end of a shorter catalogue
        {"Gone|2", -1}, {"2", 2},  // no title part: the index alone, as before
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        SearchRig rig(dir);
        rig.bookmarks.assign({c.bookmark});
        rig.bookmarks.setVisible(true);
        rig.bookmarks.select(0);
        rig.reader.jumpFromBookmark();
        if (c.entry >= 0) {
            EXPECT_EQ(rig.titles.selectedIndex(), c.entry) << c.bookmark;
            EXPECT_EQ(rig.page.shown, Lines{std::string(rig.paths.item(c.entry))}) << c.bookmark;
            EXPECT_TRUE(rig.dialogs.messages.empty()) << c.bookmark;
        } else {
            EXPECT_TRUE(rig.page.shown.empty()) << c.bookmark;
            EXPECT_EQ(rig.dialogs.messages, Lines{kStaleBookmarkMessage}) << c.bookmark;
            EXPECT_TRUE(rig.bookmarks.isVisible()) << c.bookmark;
        }
        EXPECT_EQ(rig.bookmarks.items(), Lines{c.bookmark}) << c.bookmark;  // its bytes stay
    }
}

TEST(ReaderPages, ABookmarkOfTheStoredCatalogueFindsItsTitleInAnUnsavedBuild) {
    test::TempDir dir;
    const std::string tree = writeTree(dir);
    dir.write("tree/New.txt", "New\r\nfirst now");
    ReaderRig rig(dir);
    rig.build(tree, true);
    rig.titles.select(1);
    rig.reader.addBookmark();  // "b|1"
    dir.write("tree/0.txt", "0\r\nbefore all");
    rig.build(tree, false);  // "0", "A", "b", ...: entry 1 is "A" now
    rig.bookmarks.setVisible(true);
    rig.bookmarks.select(0);
    rig.reader.jumpFromBookmark();
    EXPECT_EQ(rig.titles.item(rig.titles.selectedIndex()), "b");
    EXPECT_EQ(rig.page.shown.back(), tree + "/b.txt");
}

TEST(ReaderTitles, AreShownDecodedAndFoundAsShownWhileTheStoredBytesStay) {
    test::TempDir dir;
    dir.write("t/a.htm", "<title>Java &amp; more</title>");
    // "帮助" in GBK, as the page declares.
    dir.write("t/b.htm", "<meta charset=\"gbk\"><title>\xb0\xef\xd6\xfa</title>");
    dir.write("t/c.htm", "<title>&Eacute;t&eacute;</title>");
    ReaderRig rig(dir);
    rig.build(dir / "t", false);
    EXPECT_EQ(rig.titles.items().toVector(),
              (Lines{"&Eacute;t&eacute;", "Java &amp; more", "\xb0\xef\xd6\xfa"}));
    EXPECT_EQ(rig.reader.shownTitle(0), "\u00c9t\u00e9");  // decoded while not yet indexed
    ASSERT_TRUE(rig.ui.runUntil([&] { return rig.reader.quickFind("x").has_value(); }));
    EXPECT_EQ(rig.reader.shownTitle(1), "Java & more");
    EXPECT_EQ(rig.reader.shownTitle(2), "\u5e2e\u52a9");
    EXPECT_EQ(rig.reader.shownReference("\xb0\xef\xd6\xfa|2"), "\u5e2e\u52a9");

    const QuickFindResult found = *rig.reader.quickFind("\u5e2e");
    ASSERT_EQ(found.hits.size(), 1u);
    EXPECT_EQ(found.hits[0].entry, 2);

    rig.dialogs.inputAnswers.push_back("\u00e9t\u00e9");  // "été" finds "Été"
    rig.reader.findFromTop();
    EXPECT_EQ(rig.titles.selectedIndex(), 0);
}

// A run of the program: start-up, what `during` does, shutdown.
void run(const test::TempDir& dir, const std::function<void(ReaderRig&)>& during) {
    ReaderRig rig(dir);
    try {
        rig.reader.start();
    } catch (const Error&) {
        // shown to the user; the rest of start-up is skipped
    }
    during(rig);
    rig.reader.shutdown();
}

TEST(ReaderPages, AResultOpensWithTheTextOfTheSearchThatFoundIt) {
    test::TempDir dir;
    SearchRig rig(dir);
    rig.searchFor("SETUP");    // rows 0 and 1: b, c
    rig.searchFor("nothing");  // row 2: A
    for (const auto& [row, text] : {std::pair{2, "nothing"}, {1, "SETUP"}, {0, "SETUP"}}) {
        rig.results.setVisible(true);
        rig.results.select(row);
        rig.reader.jumpFromResult();
        EXPECT_EQ(rig.page.found.back(), text) << row;
    }
    EXPECT_EQ(rig.page.shown,
              (Lines{dir / "tree/A.txt", dir / "tree/Sub/c.htm", dir / "tree/b.txt"}));

    rig.bookmarks.assign({"c|2"});
    rig.bookmarks.setVisible(true);
    rig.bookmarks.select(0);
    rig.reader.jumpFromBookmark();
    EXPECT_EQ(rig.page.found.back(), "");
}

TEST(ReaderFullSearch, ResultsGoWhenAnotherCatalogueIsShown) {
    test::TempDir dir;
    const std::string tree = writeTree(dir);
    dir.write("other/notes.title", "Setup\r\n");
    dir.write("other/notes.path", tree + "/b.txt\r\n");
    ReaderRig rig(dir);
    int announced = 0;
    rig.reader.setOnCatalogueChanged([&] { ++announced; });

    rig.build(tree, true);
    EXPECT_EQ(rig.reader.catalogueStatus(), tree + "/pelmaropath.path, 3 entries");
    rig.searchFor("setup");
    EXPECT_EQ(rig.results.items(), (Lines{"b|1", "c|2"}));
    rig.open(dir / "other/notes.path");
    EXPECT_EQ(rig.results.count(), 0);
    EXPECT_TRUE(rig.reader.searchRuns().empty());
    EXPECT_EQ(rig.reader.catalogueStatus(), dir / "other/notes.path, 1 entry");
    rig.reader.jumpFromResult();  // shown but empty: only hides
    EXPECT_FALSE(rig.results.isVisible());

    rig.searchFor("setup");
    EXPECT_EQ(rig.results.items(), Lines{"Setup|0"});
    rig.build(tree, false);
    EXPECT_EQ(rig.results.count(), 0);
    EXPECT_EQ(rig.reader.catalogueStatus(), tree + " (not saved), 3 entries");
    // Each build twice (the lists, then the name once saved), the Open once.
    EXPECT_EQ(announced, 4);
}

// A stored catalogue "Alpha", "Beta", "Gamma" of pages /h/a.htm, /h/b.htm, /h/c.htm.
std::string writeStoredCatalogue(const test::TempDir& dir) {
    dir.write("help/pelmaropath.title", "Alpha\r\nBeta\r\nGamma\r\n");
    dir.write("help/pelmaropath.path", "/h/a.htm\r\n/h/b.htm\r\n/h/c.htm\r\n");
    return dir / "help/pelmaropath.path";
}

TEST(ReaderPages, TheSelectionFollowsThePageShownAndTheCommandsActOnIt) {
    test::TempDir dir;
    const std::string pathFile = writeStoredCatalogue(dir);
    ReaderRig rig(dir);
    rig.open(pathFile);
    rig.titles.select(0);
    rig.reader.showSelectedPage();
    struct Step {
        const char* shown;
        int selected;
    };
    for (const Step& step : {Step{"/h/c.htm", 2},
                             {"/elsewhere/x.htm", 2},
                             {"/h/a.htm", 0},
                             {"/h/c.htm", 2},
                             {"/h", 2},
                             {"", 2}}) {
        rig.reader.pageShown(step.shown);
        EXPECT_EQ(rig.titles.selectedIndex(), step.selected) << step.shown;
    }
    EXPECT_EQ(rig.page.shown, Lines{"/h/a.htm"});  // followed, never shown again

    // A click on the selected title brings its page back, once.
    rig.reader.returnToSelectedPage();
    rig.reader.returnToSelectedPage();
    EXPECT_EQ(rig.page.shown, (Lines{"/h/a.htm", "/h/c.htm"}));

    rig.reader.addBookmark();
    EXPECT_EQ(rig.bookmarks.items(), Lines{"Gamma|2"});
    rig.reader.pageShown("/h/b.htm");
    rig.dialogs.inputAnswers.push_back("a");
    rig.reader.findNext();  // from the page being read, once the titles are indexed
    ASSERT_TRUE(rig.ui.runUntil([&] { return rig.dialogs.inputAnswers.empty(); }));
    EXPECT_EQ(rig.titles.selectedIndex(), 2);
}

TEST(ReaderPages, TheSelectionFollowsAfterABuildAndAtTheNextStart) {
    test::TempDir dir;
    const std::string tree = writeTree(dir);
    run(dir, [&](ReaderRig& rig) {
        rig.build(tree, true);
        rig.reader.pageShown(tree + "/Sub/c.htm");
        EXPECT_EQ(rig.titles.selectedIndex(), 2);
        rig.reader.pageShown(tree + "/b.txt");
    });
    run(dir, [&](ReaderRig& rig) {
        EXPECT_EQ(rig.titles.selectedIndex(), 1);  // the page read last
        EXPECT_EQ(rig.reader.catalogueStatus(), tree + "/pelmaropath.path, 3 entries");
        rig.reader.pageShown(tree + "/A.txt");
        EXPECT_EQ(rig.titles.selectedIndex(), 0);
    });
}

TEST(ReaderSession, CatalogueEntryPageAndBookmarksComeBack) {
    test::TempDir dir;
    dir.write("help/pelmaropath.title", "Alpha\r\nBeta\r\nGamma\r\n");
    dir.write("help/pelmaropath.path", "/h/a.htm\r\n/h/b.htm\r\n/h/c.htm\r\n");
    run(dir, [&](ReaderRig& rig) {
        rig.open(dir / "help/pelmaropath.path");
        rig.titles.select(2);
        rig.reader.addBookmark();
        rig.titles.select(1);
    });
    run(dir, [&](ReaderRig& rig) {
        EXPECT_EQ(rig.titles.items(), (Lines{"Alpha", "Beta", "Gamma"}));
        EXPECT_EQ(rig.titles.selectedIndex(), 1);
        EXPECT_EQ(rig.page.shown, Lines{"/h/b.htm"});
        EXPECT_EQ(rig.page.folders, Lines{dir / "help"});
        EXPECT_EQ(rig.bookmarks.items(), Lines{"Gamma|2"});
    });

    // A start-up that fails before the bookmarks are loaded leaves their file alone.
    std::filesystem::remove(dir / "help/pelmaropath.title");
    run(dir, [](ReaderRig& rig) { EXPECT_EQ(rig.bookmarks.count(), 0); });
    EXPECT_EQ(test::readFile(dir / "help/pelmaropath.bookmark"), "Gamma|2\r\n");
}

TEST(ReaderSession, ClosingDuringASaveNamesTheCatalogueOnDiskAfterwardsWithoutWaiting) {
    test::TempDir dir;
    const std::string tree = writeTree(dir);
    const std::string old = writeStoredCatalogue(dir);
    std::mutex mutex;
    std::condition_variable changed;
    bool saving = false;
    bool release = false;
    {
        ReaderRig rig(dir);
        rig.open(old);
        // The save's first write waits until the window has closed; the settings and
        // bookmark writes of the close go through.
        rig.files.beforeChange = [&](const std::string& name) {
            if (name.rfind(tree, 0) != 0) {
                return;
            }
            std::unique_lock lock(mutex);
            saving = true;
            changed.notify_all();
            changed.wait(lock, [&] { return release; });
        };
        rig.dialogs.folderAnswers.push_back(tree);
        rig.dialogs.yesNoAnswers.push_back(true);
        rig.reader.buildFromFolder();
        ASSERT_TRUE(rig.ui.runUntil([&] { return !rig.dialogs.questions.empty(); }));
        {
            std::unique_lock lock(mutex);
            ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(20), [&] { return saving; }));
        }
        const auto closing = std::chrono::steady_clock::now();
        rig.reader.shutdown();  // the save holds on: the close does not wait for it
        EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::seconds(1));
        {
            const std::lock_guard lock(mutex);
            release = true;
        }
        changed.notify_all();
    }  // the window is gone: the save ends here
    EXPECT_EQ(test::readFile(tree + "/pelmaropath.title"), "A\r\nb\r\nc\r\n");
    ReaderRig next(dir);
    next.reader.start();
    EXPECT_EQ(next.reader.currentCatalogue().bookmarkFile(), tree + "/pelmaropath.bookmark");
    EXPECT_EQ(next.titles.items(), (Lines{"A", "b", "c"}));
}

TEST(ReaderSession, SettingsThatCantBeStoredAreSaidAtStartUp) {
    test::TempDir dir;
    dir.write("cfg", "a file where the settings folder should be");
    ReaderRig rig(dir);
    rig.reader.start();
    EXPECT_EQ(rig.window.captions,
              Lines{"Cannot store the settings in \"" + (dir / "cfg") + "\". Not a directory"});
}

TEST(ReaderBuild, FolderThatCantBeWrittenKeepsItsCatalogueAndBookmarksInTheDataFolder) {
    test::TempDir dir;
    const std::string tree = writeTree(dir);
    // Where the data folder keeps it: the tree's real name, "/" as "%2F".
    std::string kept = dir / "data/";
    for (const char c : std::filesystem::canonical(tree).string()) {
        kept += c == '/' ? std::string("%2F") : std::string(1, c);
    }
    const std::string bookmarkFile = kept + "/pelmaropath.bookmark";
    const std::string note = "The folder can't be written; the catalogue is kept in \xe2\x80\x9c" +
                             kept + "/pelmaropath.path\xe2\x80\x9d";
    for (int build = 1; build <= 2; ++build) {
        run(dir, [&](ReaderRig& rig) {
            rig.files.readOnlyFolders.insert(tree);
            rig.build(tree, true);
            EXPECT_EQ(rig.dialogs.errors, Lines{}) << build;
            EXPECT_EQ(rig.window.caption(), note) << build;  // said once, after the save
            EXPECT_EQ(rig.reader.currentCatalogue().bookmarkFile(), bookmarkFile) << build;
            EXPECT_EQ(rig.reader.catalogueStatus(), kept + "/pelmaropath.path, 3 entries");
            // Its pages are still those of the tree it was built from.
            EXPECT_EQ(rig.page.folders.back(), tree) << build;
            if (build == 1) {
                rig.titles.select(1);
                rig.reader.addBookmark();
            }
            // The same folder built again finds its bookmark where it left it.
            EXPECT_EQ(rig.bookmarks.items(), Lines{"b|1"}) << build;
        });
    }
    EXPECT_FALSE(std::filesystem::exists(tree + "/pelmaropath.path"));
    EXPECT_EQ(test::readFile(kept + "/pelmaropath.title"), "A\r\nb\r\nc\r\n");

    // "last" names it: the next start opens it, in the tree's own page view.
    run(dir, [&](ReaderRig& rig) {
        EXPECT_EQ(rig.reader.currentCatalogue().bookmarkFile(), bookmarkFile);
        EXPECT_EQ(rig.page.folders, Lines{tree});
        ASSERT_EQ(rig.page.shown.size(), 1u);
        EXPECT_EQ(rig.page.shown[0].rfind(tree + "/", 0), 0u);  // its pages resolve as before
        EXPECT_EQ(rig.bookmarks.items(), Lines{"b|1"});
        // Open (F9) starts beside it and opens it as any stored catalogue.
        rig.open(kept + "/pelmaropath.path");
        EXPECT_EQ(rig.dialogs.startFolders.back(), kept);
        EXPECT_EQ(rig.page.folders.back(), tree);
        EXPECT_EQ(rig.paths.items(),
                  (Lines{tree + "/A.txt", tree + "/b.txt", tree + "/Sub/c.htm"}));
    });
}

TEST(ReaderBuild, FolderAndDataFolderThatCantBeWrittenSayWhyAsBefore) {
    test::TempDir dir;
    const std::string tree = writeTree(dir);
    ReaderRig rig(dir);
    rig.files.readOnlyFolders.insert(tree);
    rig.files.readOnlyFolders.insert(
        keptCatalogueFolder(rig.dataFolder, std::filesystem::canonical(tree).string()));
    rig.build(tree, true);
    EXPECT_EQ(rig.dialogs.errors,
              Lines{"Cannot create file \"" + tree + "/pelmaropath.title\". Permission denied"});
    EXPECT_EQ(rig.reader.currentCatalogue().bookmarkFile(), "");
}

TEST(ReaderOpen, CatalogueStoredInTheRootFolderOpensWithItsBookmarksAndPages) {
    test::TempDir dir;
    ReaderRig rig(dir);
    rig.files.inMemory["/pelmaropath.title"] = "Alpha\r\nBeta\r\n";
    rig.files.inMemory["/pelmaropath.path"] = "/a.htm\r\n/b.htm\r\n";
    rig.files.inMemory["/pelmaropath.bookmark"] = "Beta|1\r\n";
    rig.open("/pelmaropath.path");
    EXPECT_EQ(rig.dialogs.errors, Lines{});
    EXPECT_EQ(rig.reader.currentCatalogue().bookmarkFile(), "/pelmaropath.bookmark");
    EXPECT_EQ(rig.bookmarks.items(), Lines{"Beta|1"});
    EXPECT_EQ(rig.page.folders, Lines{"/"});
    rig.bookmarks.setVisible(true);
    rig.bookmarks.select(0);
    rig.reader.jumpFromBookmark();
    EXPECT_EQ(rig.page.shown, Lines{"/b.htm"});
    rig.dialogs.openAnswers.push_back(std::nullopt);
    rig.reader.openStored();
    EXPECT_EQ(rig.dialogs.startFolders.back(), "/");
}

}  // namespace
}  // namespace pelmaro

namespace pelmaro {
namespace {

// Another window (or a save) holds the catalogue folder's lock: New bookmark and Delete Bookmark
// return at once, and the file gets the changes, in order, once the lock is free.
TEST(ReaderBookmarks, ChangesNeverWaitForTheFolderLockOnTheWindowsThread) {
    test::TempDir dir;
    const std::string stored = writeStoredCatalogue(dir);
    const std::string bookmarkFile = dir / "help/pelmaropath.bookmark";
    {
        ReaderRig rig(dir);
        rig.open(stored);
        platform::PosixFileSystem other;
        auto held = other.lockFolder(dir / "help");
        const auto start = std::chrono::steady_clock::now();
        rig.titles.select(0);
        rig.reader.addBookmark();
        rig.titles.select(2);
        rig.reader.addBookmark();
        rig.reader.toggleBookmarks();
        rig.bookmarks.select(0);
        rig.reader.deleteBookmark();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        EXPECT_EQ(rig.bookmarks.items(), Lines{"Gamma|2"});
        EXPECT_FALSE(std::filesystem::exists(bookmarkFile));
        held.reset();
        ASSERT_TRUE(rig.ui.runUntil([&] { return std::filesystem::exists(bookmarkFile); }));
    }
    EXPECT_EQ(test::readFile(bookmarkFile), "Gamma|2\r\n");
}

}  // namespace
}  // namespace pelmaro
