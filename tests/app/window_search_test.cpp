// The title search (F3, F4) and the full-text search (F11, F10) through the real window and its
// event pump: results, jumps to their pages, and a search stopped while it runs.
#include <QItemSelectionModel>
#include <QTest>

#include "tests/app/app_test_main.h"
#include "tests/app/program_run.h"

using pelmaro::test::ProgramRun;
using pelmaro::test::SandboxDir;

namespace {

constexpr const char* kFullSearchInput = "please enter a string to search: pelmaro";

QString numbered(int i) {
    return QStringLiteral("Page %1|%2").arg(i, 4, 10, QLatin1Char('0')).arg(i);
}

}  // namespace

class WindowSearchTest : public QObject {
    Q_OBJECT

private slots:
    void titleSearch_findsNextAndShowsIt_aMissSaysSoAndClearsTheSelection() {
        SandboxDir dir;
        dir.write("help/a.htm", pelmaro::test::htmlPage("Alpha"));
        dir.write("help/b.htm", pelmaro::test::htmlPage("beta"));
        dir.write("help/c.htm", pelmaro::test::htmlPage("Alphabet"));
        dir.write("help/d.htm", pelmaro::test::htmlPage("Gamma"));
        ProgramRun run;
        QVERIFY(run.start());
        run.build(dir / "help", false);
        QCOMPARE(run.titles(), (std::vector<std::string>{"Alpha", "Alphabet", "beta", "Gamma"}));
        const QItemSelectionModel* selection =
            run.form->findChild<pelmaro::app::ListBox*>("ListBox1")->selectionModel();

        run.dialogs.inputAnswers = {"alpha"};
        QVERIFY(run.pressAndWaitForPage(Qt::Key_F3));
        QCOMPARE(run.dialogs.inputs,
                 std::vector<std::string>{"enter a string to search: enter string"});
        QCOMPARE(run.selected(), 0);
        QCOMPARE(run.shownFile(), std::optional<std::string>(dir / "help/a.htm"));

        QVERIFY(run.pressAndWaitForPage(Qt::Key_F3));  // the same text, from the next entry on
        QCOMPARE(run.selected(), 1);
        QCOMPARE(run.pageTitle(), QStringLiteral("Alphabet"));

        run.press(Qt::Key_F3);  // no wrap-around
        QCOMPARE(run.dialogs.messages, std::vector<std::string>{"alpha not found"});
        QCOMPARE(run.selected(), -1);
        QVERIFY(!selection->hasSelection());
        QCOMPARE(run.dialogs.inputs.size(), std::size_t(1));

        // New Search starts at the top with a new text.
        run.dialogs.inputAnswers = {"BETA"};
        QVERIFY(run.pressAndWaitForPage(Qt::Key_F4));
        QCOMPARE(run.selected(), 2);
        run.dialogs.inputAnswers = {"zzz"};
        run.press(Qt::Key_F4);
        QCOMPARE(run.dialogs.messages.back(), std::string("zzz not found"));
        QCOMPARE(run.selected(), -1);
        QVERIFY(!selection->hasSelection());
        QVERIFY(run.errors.empty());
    }

    void fullSearch_listsTheHits_toggles_andAResultJumpsToItsPage() {
        SandboxDir dir;
        dir.write("help/a.htm", pelmaro::test::htmlPage("Alpha", "Run SETUP first"));
        dir.write("help/b.htm", pelmaro::test::htmlPage("Beta", "set\r\nup over two lines"));
        dir.write("help/c.htm", pelmaro::test::htmlPage("Gamma", "nothing here"));
        dir.write("help/d.txt", "Delta\r\nsetup notes\r\n");
        ProgramRun run;
        QVERIFY(run.start());
        run.build(dir / "help", false);
        QCOMPARE(run.titles(), (std::vector<std::string>{"Alpha", "Beta", "Delta", "Gamma"}));
        const std::vector<std::string> hits = {"Alpha|0", "Beta|1", "Delta|2"};

        run.dialogs.inputAnswers = {"Setup"};
        run.press(Qt::Key_F11);
        QCOMPARE(run.dialogs.inputs, std::vector<std::string>{kFullSearchInput});
        QCOMPARE(run.form->resultList().items(), hits);
        QCOMPARE(run.caption(), std::string("found 100%"));
        QCOMPARE(run.label("Fullsearch1"), std::string("&Full search"));
        QTRY_VERIFY(run.shown("ListBox4"));

        run.press(Qt::Key_F10);
        QTRY_VERIFY(!run.shown("ListBox4"));
        QVERIFY(run.browser()->isVisible());
        run.press(Qt::Key_F10);
        QTRY_VERIFY(run.shown("ListBox4"));

        QVERIFY(pelmaro::test::loadAndWait(run.browser()->page(),
                                           [&] { run.doubleClickRow("ListBox4", 1); }));
        QCOMPARE(run.selected(), 1);
        QCOMPARE(run.shownFile(), std::optional<std::string>(dir / "help/b.htm"));
        QCOMPARE(run.pageTitle(), QStringLiteral("Beta"));
        QTRY_VERIFY(!run.shown("ListBox4"));

        // The next search appends its hits after the earlier ones.
        run.dialogs.inputAnswers = {"setup"};
        run.press(Qt::Key_F11);
        std::vector<std::string> twice = hits;
        twice.insert(twice.end(), hits.begin(), hits.end());
        QCOMPARE(run.form->resultList().items(), twice);
        QCOMPARE(run.label("Fullsearch1"), std::string("&Full search"));
        QVERIFY(run.errors.empty());
    }

    void f11WhileTheSearchRuns_stopsItEarly_andTheNextF11SearchesAgain() {
        constexpr int kPages = 300;
        SandboxDir dir;
        pelmaro::test::writeNumberedPages(dir, "help", kPages, "a needle in every page");
        ProgramRun run;
        QVERIFY(run.start());
        run.build(dir / "help", false);
        QCOMPARE(run.titles().size(), std::size_t(kPages));

        run.dialogs.inputAnswers = {"needle"};
        const pelmaro::test::AfterPumps stop(10, [&run] { run.press(Qt::Key_F11); });
        run.press(Qt::Key_F11);

        QVERIFY(stop.done());
        const std::vector<std::string> found = run.form->resultList().items().toVector();
        QVERIFY2(found.size() < std::size_t(kPages), std::to_string(found.size()).c_str());
        for (std::size_t i = 0; i < found.size(); ++i) {
            QCOMPARE(QString::fromStdString(found[i]), numbered(static_cast<int>(i)));
        }
        QCOMPARE(run.caption(), std::string("found 100%"));
        QCOMPARE(run.label("Fullsearch1"), std::string("&Full search"));
        QCOMPARE(run.dialogs.inputs.size(), std::size_t(1));  // the stop asked nothing

        run.dialogs.inputAnswers = {"needle"};
        run.press(Qt::Key_F11);
        QCOMPARE(run.dialogs.inputs.size(), std::size_t(2));
        QCOMPARE(run.form->resultList().count(), static_cast<int>(found.size()) + kPages);
        QCOMPARE(QString::fromStdString(run.form->resultList().items().back()),
                 numbered(kPages - 1));
        QCOMPARE(run.caption(), std::string("found 100%"));
        QVERIFY(run.errors.empty());
    }

    void otherLongCommandsDuringASearch_doNothing_andTheSearchRunsToItsEnd() {
        constexpr int kPages = 100;
        SandboxDir dir;
        pelmaro::test::writeNumberedPages(dir, "help", kPages, "needle");
        ProgramRun run;
        QVERIFY(run.start());
        run.build(dir / "help", false);

        run.dialogs.inputAnswers = {"needle"};
        // A rebuild or an Open inside the search would change the catalogue it walks.
        const pelmaro::test::AfterPumps path(5, [&run] { run.press(Qt::Key_F2); });
        const pelmaro::test::AfterPumps open(6, [&run] { run.press(Qt::Key_F9); });
        run.press(Qt::Key_F11);

        QVERIFY(path.done() && open.done());
        QCOMPARE(run.dialogs.folderPrompts.size(), std::size_t(1));  // the first build's
        QVERIFY(run.dialogs.openTitles.empty());
        QCOMPARE(run.form->resultList().count(), kPages);
        QCOMPARE(run.caption(), std::string("found 100%"));
        QVERIFY(run.errors.empty());
    }

    void closingDuringASearch_stopsIt_andClosesTheWindow() {
        SandboxDir dir;
        pelmaro::test::writeNumberedPages(dir, "help", 300, "needle");
        ProgramRun run;
        QVERIFY(run.start());
        run.build(dir / "help", false);

        run.dialogs.inputAnswers = {"needle"};
        const pelmaro::test::AfterPumps close(10, [&run] { run.form->close(); });
        run.press(Qt::Key_F11);

        QVERIFY(close.done());
        QVERIFY(run.form->resultList().count() < 300);
        QVERIFY(!run.form->isVisible());
        QVERIFY(run.errors.empty());
    }
};

PELMARO_APP_TEST_MAIN(WindowSearchTest)
#include "window_search_test.moc"
