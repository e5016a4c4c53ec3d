#include "reader/full_text_command.h"

#include <gtest/gtest.h>

#include "platform/list_control.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/fakes.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

using Lines = std::vector<std::string>;

struct CommandRig {
    platform::MemoryList titles, paths, bookmarks, results;
    test::FakeWindow window;
    test::ScriptedDialogs dialogs;
    test::FakeFileSystem files;
    // A label the command never set: its state is its own, not read back from here.
    test::FakeMenuItem menuItem{"Full search (F11)"};
    test::FakeUiThread ui;
    int changes = 0;
    FullTextCommand command{
        {titles, paths, bookmarks, results, window, dialogs, files, menuItem, ui},
        [this] { ++changes; }};

    void searchFor(const std::string& text) {
        dialogs.inputAnswers.push_back(text);
        command.start();
        ASSERT_TRUE(
            ui.runUntil([this] { return command.state() == FullTextCommand::State::Idle; }));
    }
};

TEST(FullTextCommand, EachSearchKeepsItsRowsAndSaysWhichPagesItCouldNotRead) {
    test::TempDir dir;
    CommandRig rig;
    rig.titles.assign({"a", "b", "c", "d"});
    rig.paths.assign({dir.write("a.htm", "key"), dir / "gone.htm", dir.write("c.htm", "no"),
                      dir.write("d.htm", "KEY")});
    rig.files.locked.insert(dir / "c.htm");
    rig.searchFor("key");
    rig.searchFor("no");  // c is locked: nothing found, two pages unread
    rig.searchFor("KEY");

    EXPECT_EQ(rig.results.items(), (Lines{"a|0", "d|3", "a|0", "d|3"}));
    ASSERT_EQ(rig.command.runs().size(), 3u);
    const SearchRun& first = rig.command.runs()[0];
    EXPECT_EQ(first.text, "key");
    EXPECT_EQ(first.firstRow, 0);
    EXPECT_EQ(first.rows, 2);
    EXPECT_EQ(first.pages, 4u);
    EXPECT_EQ(stoppedNote(first), "");
    EXPECT_EQ(unreadableNote(first), "2 pages could not be read");
    ASSERT_EQ(first.unreadable.size(), 2u);
    EXPECT_EQ(first.unreadable[0].path, dir / "gone.htm");
    EXPECT_EQ(unreadableDetails(first).find(dir / "gone.htm: Cannot open file"), 0u);
    EXPECT_NE(unreadableDetails(first).find("\n" + dir / "c.htm: "), std::string::npos);
    EXPECT_EQ(rig.command.runs()[1].rows, 0);
    EXPECT_EQ(rig.command.runs()[2].firstRow, 2);
    EXPECT_EQ(rig.command.textOfRow(1), "key");
    EXPECT_EQ(rig.command.textOfRow(3), "KEY");
    EXPECT_EQ(rig.menuItem.label(), "&Full search");

    rig.command.clear();  // another catalogue: the rows and their headings go together
    EXPECT_EQ(rig.results.count(), 0);
    EXPECT_TRUE(rig.command.runs().empty());
    EXPECT_EQ(rig.command.textOfRow(0), "");
}

TEST(FullTextCommand, AStoppedSearchSaysWhereItStopped) {
    test::TempDir dir;
    CommandRig rig;
    Lines paths;
    for (int i = 0; i < 200; ++i) {
        paths.push_back(dir.write("p" + std::to_string(i) + ".htm", "hit"));
    }
    rig.paths.assign(paths);
    rig.titles.assign(Lines(paths.size(), "t"));
    rig.files.openDelay = std::chrono::milliseconds(2);
    rig.dialogs.inputAnswers.push_back("hit");
    int rowsWhenTold = 0;  // the heading's count, as the window would read it
    rig.command.setOnRowsAdded([&] { rowsWhenTold = rig.command.runs().back().rows; });
    rig.command.start();
    EXPECT_EQ(rig.menuItem.label(), "&Stop search");
    ASSERT_TRUE(rig.ui.runUntil([&] { return rig.results.count() > 0; }));
    EXPECT_EQ(rowsWhenTold, rig.results.count());  // told while running, not only at the end
    rig.command.stop();
    EXPECT_EQ(rig.command.state(), FullTextCommand::State::Stopping);
    EXPECT_EQ(rig.menuItem.label(), "&Full search");
    ASSERT_TRUE(
        rig.ui.runUntil([&] { return rig.command.state() == FullTextCommand::State::Idle; }));
    const SearchRun& run = rig.command.runs().back();
    ASSERT_TRUE(run.stoppedAfter.has_value());
    EXPECT_LT(*run.stoppedAfter, 200u);
    EXPECT_EQ(run.rows, rig.results.count());
    EXPECT_EQ(stoppedNote(run),
              "stopped after " + std::to_string(*run.stoppedAfter) + " of 200 pages");
    EXPECT_EQ(rig.changes, 3);  // running, stopping, idle
}

std::string repeated(const std::string& word, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) {
        text += word;
    }
    return text;
}

TEST(FullTextCommand, RanksEndedSearchesBestFirstAndSwitchesBackKeepingTheSelection) {
    test::TempDir dir;
    CommandRig rig;
    rig.titles.assign({"Intro", "Key facts", "Other", "Intro", "None", "Last"});
    rig.paths.assign({
        // A first hit a megabyte deep, as in the largest pages of API documentation.
        dir.write("a/p0.htm", "<p>" + repeated("lorem ", 200000) + "KEY and more " +
                                  repeated("ipsum ", 30) + "</p>"),
        dir.write("a/p1.htm", "<title>Key facts</title>"),
        dir.write("a/p2.htm", "<p>key key key</p>"),
        dir.write("b/sub/p3.htm", "<p>key</p><p>and key</p>"),
        dir.write("a/p4.htm", "no"),
        dir.write("a/p5.htm", "<p>x key</p>"),
    });
    rig.searchFor("key");
    // The title first, then by hits (3, 2), then by the first hit's place (2 before 1,200,000).
    EXPECT_EQ(rig.results.items(),
              (Lines{"Key facts|1", "Other|2", "Intro|3", "Last|5", "Intro|0"}));
    EXPECT_TRUE(rig.command.hitOfRow(0)->inTitle);
    EXPECT_EQ(rig.command.hitOfRow(1)->count, 3u);

    // Only repeated titles name their folder.
    EXPECT_EQ(rig.command.folderOfRow(2), "b/sub");
    EXPECT_NE(rig.command.folderOfRow(4), "");
    EXPECT_EQ(rig.command.folderOfRow(1), "");

    const ContextLine& deep = rig.command.contextOfRow(4);
    EXPECT_EQ(deep.text.substr(deep.hitStart, deep.hitLength), "KEY");
    EXPECT_EQ(deep.text.rfind("\u2026lorem ", 0), 0u);
    EXPECT_LT(deep.text.size(), 160u);
    EXPECT_NE(deep.text.find("KEY and more ipsum"), std::string::npos);
    const ContextLine& near = rig.command.contextOfRow(3);
    EXPECT_EQ(near.text, "x key");
    EXPECT_EQ(near.hitStart, 2u);

    rig.results.select(4);
    rig.command.setOrder(ResultOrder::Catalogue);
    EXPECT_EQ(rig.results.items(),
              (Lines{"Intro|0", "Key facts|1", "Other|2", "Intro|3", "Last|5"}));
    EXPECT_EQ(rig.results.selectedIndex(), 0);  // the same result, where it went
    EXPECT_EQ(rig.command.contextOfRow(0).text, deep.text);

    // A new search leaves no earlier result chosen: Enter is for its rows. A search in
    // catalogue order stays so; switching ranks both, and a chosen result goes where it goes.
    rig.searchFor("AND");
    EXPECT_EQ(rig.results.selectedIndex(), -1);
    EXPECT_EQ(rig.results.count(), 7);
    EXPECT_EQ(rig.results.item(5), "Intro|0");
    rig.results.select(0);
    rig.command.setOrder(ResultOrder::BestFirst);
    EXPECT_EQ(rig.results.item(0), "Key facts|1");
    EXPECT_EQ(rig.results.item(5), "Intro|3");  // "and" at 4, before 1,200,004
    EXPECT_EQ(rig.results.selectedIndex(), 4);
}

// Copies of one tree differ higher up than the last two folders: a repeated title names as many
// as tell its pages apart, and the file names of its pages in one folder.
TEST(FullTextCommand, RepeatedTitlesNameTheFoldersThatTellThemApart) {
    test::TempDir dir;
    CommandRig rig;
    rig.titles.assign({"Guide", "Guide", "Guide", "Other"});
    rig.paths.assign({dir.write("copy1/doc/lib/g.htm", "key"),
                      dir.write("copy2/doc/lib/g.htm", "key"),
                      dir.write("copy2/doc/lib/h.htm", "key"), dir.write("o.htm", "key")});
    rig.searchFor("key");
    std::vector<std::string> folders;
    for (int row = 0; row < rig.results.count(); ++row) {
        folders.push_back(rig.command.folderOfRow(row));
    }
    EXPECT_EQ(folders, (Lines{"copy1/doc/lib", "copy2/doc/lib/g.htm", "copy2/doc/lib/h.htm", ""}));
}

// The search finds hits in folded text; the line shows the page's own letters, and marks the
// hit there even where folding changes a character's length.
TEST(FullTextCommand, ContextLineShowsThePagesOwnLettersWithTheHitMarked) {
    struct Case {
        std::string page;
        const char* text;
        std::string line;
        const char* hit;
    };
    const Case cases[] = {
        {"<p>The URLOpen() function\n  opens a URL</p>", "urlopen",
         "The URLOpen() function opens a URL", "URLOpen"},
        // Folding changes lengths, before the hit and in it: the long s (two bytes) folds to
        // "s" (one), "\u023A" (two) to "\u2C65" (three), "\u1E9E" (three) to "\u00DF" (two).
        {"<p>2 \u017F, then Water</p>", "WATER", "2 \u017F, then Water", "Water"},
        {"<p>a \u017Fecond</p>", "second", "a \u017Fecond", "\u017Fecond"},
        {"<h1>GRO\u1E9EE Stra\u00DFe</h1>", "gro\u00DFe", "GRO\u1E9EE Stra\u00DFe", "GRO\u1E9EE"},
        // After references, and composed as a letter and its accent typed apart
        {"<p>Tom &amp; Jerry, &eacute;t&Eacute; ETE</p>", "\u00C9T\u00C9",
         "Tom & Jerry, \u00E9t\u00C9 ETE", "\u00E9t\u00C9"},
        {"<p>cafe\u0301 &nbsp; NOIR</p>", "caf\u00E9 noir", "caf\u00E9 NOIR", "caf\u00E9 NOIR"},
        // Near the start and the end of a long text, cut at spaces
        {"<p>First " + repeated("word ", 30) + "</p>", "FIRST",
         "First " + repeated("word ", 11) + "word\u2026", "First"},
        {"<p>" + repeated("word ", 30) + "Last</p>", "last",
         "\u2026" + repeated("word ", 11) + "Last", "Last"},
        {"<p>" + repeated("\u023A ", 30) + "Target</p>", "target",
         "\u2026" + repeated("\u023A ", 19) + "Target", "Target"},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        CommandRig rig;
        rig.titles.assign({"Page"});
        rig.paths.assign({dir.write("page.htm", c.page)});
        rig.searchFor(c.text);
        ASSERT_EQ(rig.results.count(), 1) << c.text;
        const ContextLine& line = rig.command.contextOfRow(0);
        EXPECT_EQ(line.text, c.line) << c.text;
        EXPECT_EQ(line.text.substr(std::min(line.hitStart, line.text.size()), line.hitLength),
                  c.hit)
            << c.text;
    }
}

// Title hits rank first, and their row shows the title above the line: the line is made around
// the first hit after the title, when there is one, and leaves the title out.
TEST(FullTextCommand, ATitleHitsLineShowsTheFirstHitAfterTheTitle) {
    struct Case {
        const char* title;
        std::string page;
        std::string line;
        std::size_t hitStart;
    };
    const Case cases[] = {
        {"Key facts", "<title>Key facts</title><p>Some KEY here</p>", "Some KEY here", 5},
        {"Tom &amp; Key", "<title>Tom &amp; Key</title><p>the key</p>", "the key", 4},
        {"Key", "<title>Key</title><p>" + repeated("word ", 30) + "key</p>",
         "\u2026" + repeated("word ", 11) + "key", 58},
        // The title's only hits, or the title not at the start of the text: the first hit.
        {"Key facts", "<title>Key facts</title><p>none</p>", "Key facts none", 0},
        {"Key and key", "<title>Key and key</title><p>none</p>", "Key and key none", 0},
        {"Key facts", "<p>key notes</p><p>key</p>", "key notes key", 0},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        CommandRig rig;
        rig.titles.assign({c.title});
        rig.paths.assign({dir.write("page.htm", c.page)});
        rig.searchFor("key");
        ASSERT_EQ(rig.results.count(), 1) << c.page;
        ASSERT_TRUE(rig.command.hitOfRow(0)->inTitle) << c.page;
        const ContextLine& line = rig.command.contextOfRow(0);
        EXPECT_EQ(line.text, c.line) << c.page;
        EXPECT_EQ(line.hitStart, c.hitStart) << c.page;
        EXPECT_EQ(line.hitLength, 3u) << c.page;
    }
}

TEST(FullTextCommand, TheFindBarGetsTheTextAsTheSearchMatchedIt) {
    EXPECT_EQ(findTextOf("Chapter\u00A0 9"), "Chapter 9");
    EXPECT_EQ(findTextOf(" \tset\r\nup \u00A0"), "set up");
    EXPECT_EQ(findTextOf("caf\u00E9 cr\u00E8me"), "caf\u00E9 cr\u00E8me");
    EXPECT_EQ(findTextOf("\u00A0"), "");
}

TEST(FullTextCommand, NotesCountInThousands) {
    SearchRun run;
    run.pages = 82580;
    run.stoppedAfter = 7300;
    EXPECT_EQ(stoppedNote(run), "stopped after 7,300 of 82,580 pages");
    run.stoppedAfter = 0;
    run.pages = 1234567;
    EXPECT_EQ(stoppedNote(run), "stopped after 0 of 1,234,567 pages");
    run.unreadable.push_back({"/x.htm", "gone"});
    EXPECT_EQ(unreadableNote(run), "1 page could not be read");
    EXPECT_EQ(unreadableDetails(run), "/x.htm: gone");
}

}  // namespace
}  // namespace pelmaro
