// A whole session through the real window: build and save, browse, bookmark, close, start again;
// then Open (F9) of another stored catalogue, and Open cancelled.
#include <QTest>

#include "platform/line_list.h"
#include "tests/app/app_test_main.h"
#include "tests/app/program_run.h"

using pelmaro::test::ProgramRun;
using pelmaro::test::SandboxDir;
using pelmaro::test::TempDir;

namespace {

std::string ref(const std::string& title, int index) {
    return pelmaro::makeEntryReference(title, index);
}

// A catalogue stored by an earlier build, with its bookmarks.
struct StoredCatalogue {
    StoredCatalogue(const TempDir& dir, const std::string& folder) : base(dir / folder) {
        const std::string first =
            dir.write(folder + "/first.htm", pelmaro::test::htmlPage("First"));
        const std::string second =
            dir.write(folder + "/second.htm", pelmaro::test::htmlPage("Second"));
        dir.write(folder + "/pelmaropath.title", pelmaro::formatLineList({"First", "Second"}));
        dir.write(folder + "/pelmaropath.path", pelmaro::formatLineList({first, second}));
        dir.write(folder + "/pelmaropath.bookmark", pelmaro::formatLineList({"Second|1"}));
    }
    std::string base;
};

}  // namespace

class WindowSessionTest : public QObject {
    Q_OBJECT

private slots:
    void session_comesBackAtTheNextStart_withEntryPageAndBookmarks() {
        SandboxDir dir;
        pelmaro::test::writeNumberedPages(dir, "help", 5, "text");
        const std::string folder = dir / "help";
        const std::string bookmarkFile = folder + "/pelmaropath.bookmark";
        std::vector<std::string> titles;
        std::vector<std::string> paths;
        {
            ProgramRun first;
            QVERIFY(first.start());
            first.build(folder, true);
            titles = first.titles();
            paths = first.paths();
            QCOMPARE(titles.size(), std::size_t(5));

            // Two bookmarks, each written soon, off the window's thread.
            QVERIFY(first.clickTitle(3));
            first.press(Qt::Key_F6);
            QVERIFY(first.clickTitle(1));
            first.press(Qt::Key_F6);
            QCOMPARE(first.list("bookmarks").items(),
                     (std::vector<std::string>{ref(titles[3], 3), ref(titles[1], 1)}));
            QTRY_COMPARE(pelmaro::test::readFile(bookmarkFile),
                         pelmaro::formatLineList({ref(titles[3], 3), ref(titles[1], 1)}));

            // F8 shows the list over the page; the first one is chosen and deleted with F7.
            first.press(Qt::Key_F8);
            QTRY_VERIFY(first.shown("bookmarkList"));
            first.clickRow("bookmarkList", 0);
            QCOMPARE(first.list("bookmarks").selectedIndex(), 0);
            first.press(Qt::Key_F7);
            QCOMPARE(first.list("bookmarks").items(), std::vector<std::string>{ref(titles[1], 1)});
            QTRY_COMPARE(pelmaro::test::readFile(bookmarkFile),
                         pelmaro::formatLineList({ref(titles[1], 1)}));
            first.press(Qt::Key_F8);
            QTRY_VERIFY(!first.shown("bookmarkList"));

            QVERIFY(first.clickTitle(2));
            QVERIFY(first.form->close());
            QVERIFY(first.errors().empty());
        }
        const pelmaro::test::StoredSession stored =
            pelmaro::test::storedSession(dir.settingsFile());
        QCOMPARE(stored.last, bookmarkFile);
        QCOMPARE(stored.id, std::optional<int>(2));

        ProgramRun second;
        QVERIFY(second.start());
        QCOMPARE(second.titles(), titles);
        QCOMPARE(second.paths(), paths);
        QCOMPARE(second.selected(), 2);
        QTRY_COMPARE(second.shownFile(), std::optional<std::string>(paths[2]));
        QTRY_COMPARE(second.pageTitle(), QString::fromStdString(titles[2]));
        QCOMPARE(second.list("bookmarks").items(), std::vector<std::string>{ref(titles[1], 1)});
        QCOMPARE(second.form->reader().currentCatalogue().bookmarkFile(), bookmarkFile);

        // A bookmark of the restored session jumps to its entry.
        second.press(Qt::Key_F8);
        QTRY_VERIFY(second.shown("bookmarkList"));
        QVERIFY(pelmaro::test::loadAndWait(second.browser()->page(),
                                           [&] { second.doubleClickRow("bookmarkList", 0); }));
        QCOMPARE(second.selected(), 1);
        QCOMPARE(second.shownFile(), std::optional<std::string>(paths[1]));
        QTRY_VERIFY(!second.shown("bookmarkList"));
        QVERIFY(second.errors().empty());
    }

    void open_switchesCatalogueAndBookmarks_andCancelChangesNothing() {
        SandboxDir dir;
        pelmaro::test::writeNumberedPages(dir, "help", 3, "text");
        const StoredCatalogue other(dir, "other");
        ProgramRun run;
        QVERIFY(run.start());
        run.build(dir / "help", true);
        QVERIFY(run.clickTitle(0));
        run.press(Qt::Key_F6);
        QCOMPARE(run.list("bookmarks").count(), 1);

        run.dialogs.openAnswers = {other.base + "/pelmaropath.path"};
        run.press(Qt::Key_F9);
        QCOMPARE(run.dialogs.openTitles,
                 std::vector<std::string>{"select saved path database file"});
        QCOMPARE(run.titles(), (std::vector<std::string>{"First", "Second"}));
        QCOMPARE(run.list("bookmarks").items(), std::vector<std::string>{"Second|1"});
        QCOMPARE(run.form->reader().currentCatalogue().bookmarkFile(),
                 other.base + "/pelmaropath.bookmark");
        // The first catalogue keeps its bookmark.
        QCOMPARE(pelmaro::test::readFile(dir / "help/pelmaropath.bookmark"),
                 pelmaro::formatLineList({"Page 0000|0"}));

        run.list("titles").select(1);
        run.dialogs.openAnswers = {std::nullopt};
        run.press(Qt::Key_F9);
        QCOMPARE(run.dialogs.openTitles.size(), std::size_t(2));
        QCOMPARE(run.titles(), (std::vector<std::string>{"First", "Second"}));
        QCOMPARE(run.selected(), 1);
        QCOMPARE(run.list("bookmarks").items(), std::vector<std::string>{"Second|1"});
        QCOMPARE(run.form->reader().currentCatalogue().bookmarkFile(),
                 other.base + "/pelmaropath.bookmark");

        QVERIFY(run.form->close());
        QCOMPARE(pelmaro::test::storedSession(dir.settingsFile()).last,
                 other.base + "/pelmaropath.bookmark");
        QCOMPARE(pelmaro::test::readFile(other.base + "/pelmaropath.bookmark"),
                 pelmaro::formatLineList({"Second|1"}));
        QVERIFY(run.errors().empty());
    }
};

PELMARO_APP_TEST_MAIN(WindowSessionTest)
#include "window_session_test.moc"
