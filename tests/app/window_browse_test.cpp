// Reading as in a browser, through the real window under a window manager: the title list follows
// the page through links, back and forward; find in page; zoom and the list's width across a
// restart; full-text results best first with context, and their order across a restart; the
// results of another catalogue; a maximized start; Tab between list and page; the
// status line under a still pointer; the page's menu.
#include <algorithm>
#include <filesystem>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QWebEnginePage>
#include <QWheelEvent>

#include "platform/line_list.h"
#include "tests/app/app_test_main.h"
#include "tests/app/program_run.h"

using pelmaro::test::ProgramRun;
using pelmaro::test::SandboxDir;
using pelmaro::test::TempDir;
using Lines = std::vector<std::string>;

namespace {

// "Alpha" links to "Beta", to a part of "Gamma" and out of the catalogue; "Beta" links to
// "Gamma"; "Gamma" holds the word "needle" three times.
struct LinkedPages {
    explicit LinkedPages(const TempDir& dir) : folder(dir / "help") {
        using pelmaro::test::htmlPage;
        a = dir.write("help/a.htm", htmlPage("Alpha",
                                             "<p><a id='toBeta' href='b.htm'>Beta</a></p>"
                                             "<p><a id='toPart' href='sub/c.htm#part'>part"
                                             "</a></p><p><a id='out' href='../outside/"
                                             "x.htm'>outside</a></p>"));
        b = dir.write("help/b.htm", htmlPage("Beta", "<a id='toGamma' href='sub/c.htm'>Gamma</a>"));
        c = dir.write("help/sub/c.htm",
                      htmlPage("Gamma",
                               "needle <div style='height:3000px'></div><p id='part'>"
                               "needle and needle</p>"));
        outside = dir.write("outside/x.htm", htmlPage("Outside"));
    }
    std::string folder, a, b, c, outside;
};

void key(ProgramRun& run, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    QTest::keyClick(run.form->windowHandle(), key, modifiers);
}

bool followLink(ProgramRun& run, const char* id) {
    return pelmaro::test::loadAndWait(run.browser()->page(), [&] {
        QVERIFY(pelmaro::test::clickElement(run.browser(), run.browser()->page(),
                                            QString::fromLatin1(id)));
    });
}

bool pageHasFocus(ProgramRun& run) {
    QWidget* focused = QApplication::focusWidget();
    return focused != nullptr && (focused == run.browser() || run.browser()->isAncestorOf(focused));
}

std::string statusLine(ProgramRun& run) {
    return run.form->statusBar()->currentMessage().toStdString();
}

// The page's context menu while it is open.
QMenu* pageMenu() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("pageMenu") && widget->isVisible()) {
            return qobject_cast<QMenu*>(widget);
        }
    }
    return nullptr;
}

template <typename T>
T* child(ProgramRun& run, const char* name) {
    return run.form->findChild<T*>(QString::fromLatin1(name));
}

// The display's window manager, as the user's desktop has one: openbox, started here for the
// test when no window manager maximizes windows on the display yet.
class WindowManager {
public:
    bool start() {
        if (maximizes()) {
            return true;
        }
        process_.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        return process_.waitForStarted() && maximizes();
    }
    ~WindowManager() {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            process_.waitForFinished();
        }
    }

private:
    static bool maximizes() {
        QWidget probe;
        probe.showMaximized();
        const int wide = QGuiApplication::primaryScreen()->availableGeometry().width() * 9 / 10;
        return QTest::qWaitFor([&] { return probe.width() >= wide; }, 5000);
    }

    QProcess process_;
};

}  // namespace

class WindowBrowseTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { windowManager_ = manager_.start(); }

    void maximizedStart_staysMaximizedWhenTheFirstPageShows() {
        if (!windowManager_) {
            QSKIP("no window manager: openbox is not installed, or did not maximize a window");
        }
        SandboxDir dir;
        const LinkedPages pages(dir);
        ProgramRun run;
        run.form->start();  // a first start: no page to restore
        run.form->showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(run.form.get()));
        const int wide = QGuiApplication::primaryScreen()->availableGeometry().width() * 9 / 10;
        QTRY_VERIFY(run.form->width() >= wide);
        QVERIFY(QTest::qWaitForWindowActive(run.form.get()));

        run.build(pages.folder, true);
        QVERIFY(run.clickTitle(0));
        QTest::qWait(500);  // a window replaced by the engine would shrink meanwhile
        QVERIFY(run.form->isMaximized());
        QVERIFY(run.form->width() >= wide);
        // Every command shows on the menu bar, none behind its "more" button.
        auto* more =
            run.form->menuBar()->findChild<QWidget*>(QStringLiteral("qt_menubar_ext_button"));
        QVERIFY(more == nullptr || !more->isVisible());
    }

    void theListFollowsLinksBackAndForward_andAClickOnTheTitleComesBack() {
        SandboxDir dir;
        const LinkedPages pages(dir);
        ProgramRun run;
        QVERIFY(run.start());
        run.build(pages.folder, true);
        QCOMPARE(run.titles(), (Lines{"Alpha", "Beta", "Gamma"}));
        QCOMPARE(child<QLabel>(run, "catalogueStatus")->text().toStdString(),
                 pages.folder + "/pelmaropath.path, 3 entries");

        QVERIFY(run.clickTitle(0));
        QVERIFY(followLink(run, "toBeta"));
        QCOMPARE(run.selected(), 1);
        QVERIFY(followLink(run, "toGamma"));
        QCOMPARE(run.selected(), 2);

        key(run, Qt::Key_Left, Qt::AltModifier);
        QTRY_COMPARE(run.shownFile(), std::optional<std::string>(pages.b));
        // The address changes as the history step begins; the list follows its completed load.
        QTRY_COMPARE(run.selected(), 1);
        key(run, Qt::Key_Right, Qt::AltModifier);
        QTRY_COMPARE(run.shownFile(), std::optional<std::string>(pages.c));
        QTRY_COMPARE(run.selected(), 2);
        // The mouse's back button over the title list.
        auto* titleList = child<pelmaro::app::EntryListView>(run, "titleList");
        QTest::mouseClick(titleList->viewport(), Qt::BackButton, {}, QPoint(5, 5));
        QTRY_COMPARE(run.shownFile(), std::optional<std::string>(pages.b));
        QTRY_COMPARE(run.selected(), 1);
        key(run, Qt::Key_Left, Qt::AltModifier);
        QTRY_COMPARE(run.selected(), 0);

        // A part of a page selects the page; New bookmark takes the page being read.
        QVERIFY(followLink(run, "toPart"));
        QCOMPARE(run.selected(), 2);
        run.press(Qt::Key_F6);
        QCOMPARE(run.list("bookmarks").items(), Lines{"Gamma|2"});

        // Out of the catalogue the selection stays, and a click on it brings its page back.
        key(run, Qt::Key_Left, Qt::AltModifier);
        QTRY_COMPARE(run.selected(), 0);
        QVERIFY(followLink(run, "out"));
        QCOMPARE(run.shownFile(), std::optional<std::string>(pages.outside));
        QCOMPARE(run.selected(), 0);
        QVERIFY(run.clickTitle(0));
        QCOMPARE(run.shownFile(), std::optional<std::string>(pages.a));

        // The status line tells where a hovered link leads.
        const QVariantList centre =
            pelmaro::test::evaluate(run.browser()->page(),
                                    QStringLiteral("(r => [r.x + r.width / 2, r.y + r.height / 2])("
                                                   "document.getElementById('toBeta')"
                                                   ".getBoundingClientRect())"))
                .toList();
        QCOMPARE(centre.size(), 2);
        const QPoint toBeta(qRound(centre[0].toDouble()), qRound(centre[1].toDouble()));
        QTest::mouseMove(run.browser()->focusProxy(), toBeta);
        QTRY_COMPARE(statusLine(run), pages.b);

        // A page that writes another entry's address into the history moves nothing; a click on
        // the selected title shows its page again.
        pelmaro::test::evaluate(
            run.browser()->page(),
            QStringLiteral("history.pushState(null, '', location.protocol + '//' + location.host"
                           " + '%1')")
                .arg(QString::fromStdString(pages.c)));
        QTRY_COMPARE(run.shownFile(), std::optional<std::string>(pages.c));
        QTest::qWait(300);
        QCOMPARE(run.selected(), 0);
        // The link under the still pointer now leads elsewhere: its old target is gone.
        QVERIFY(statusLine(run) != pages.b);
        QVERIFY(run.clickTitle(0));
        QCOMPARE(run.shownFile(), std::optional<std::string>(pages.a));

        // Another page loads under the still pointer. (The page just shown may not take the
        // pointer's first move yet, and on a busy machine the engine joins two quick moves into
        // one that goes nowhere: the pause between them grows.)
        bool hovered = false;
        for (int attempt = 1; attempt <= 10 && !hovered; ++attempt) {
            QTest::mouseMove(run.browser()->focusProxy(), toBeta + QPoint(0, 200));
            QTest::qWait(50 * attempt);
            QTest::mouseMove(run.browser()->focusProxy(), toBeta);
            hovered = QTest::qWaitFor([&] { return statusLine(run) == pages.b; }, 1000);
        }
        QVERIFY(hovered);
        QVERIFY(pelmaro::test::loadAndWait(run.browser()->page(), [&] {
            pelmaro::test::evaluate(run.browser()->page(),
                                    QStringLiteral("location.href = 'sub/c.htm'"));
        }));
        QTest::qWait(300);
        QVERIFY(statusLine(run) != pages.b);
        QVERIFY(run.clickTitle(0));

        QVERIFY(run.form->close());
        QCOMPARE(pelmaro::test::storedSession(dir.settingsFile()).id, std::optional<int>(0));
        QVERIFY(run.errors().empty());
    }

    void thePagesMenu_holdsOnlyWhatWorksInTheReader() {
        SandboxDir dir;
        const LinkedPages pages(dir);
        ProgramRun run;
        QVERIFY(run.start());
        run.build(pages.folder, true);
        QVERIFY(run.clickTitle(0));
        QWebEnginePage* page = run.browser()->page();
        const QVariantList centre =
            pelmaro::test::evaluate(page,
                                    QStringLiteral("(r => [r.x + r.width / 2, r.y + r.height / 2])("
                                                   "document.getElementById('toBeta')"
                                                   ".getBoundingClientRect())"))
                .toList();
        QCOMPARE(centre.size(), 2);
        const QPoint onLink(qRound(centre[0].toDouble()), qRound(centre[1].toDouble()));
        const QPoint offLinks(onLink.x(), onLink.y() + 200);
        for (const QPoint point : {onLink, offLinks}) {
            QTest::mouseMove(run.browser()->focusProxy(), point);
            QTest::mouseClick(run.browser()->focusProxy(), Qt::RightButton, {}, point);
            QTRY_VERIFY(pageMenu() != nullptr);
            QMenu* menu = pageMenu();
            const QList<QAction*> actions = menu->actions();
            for (const QWebEnginePage::WebAction unused :
                 {QWebEnginePage::OpenLinkInNewWindow, QWebEnginePage::OpenLinkInNewTab,
                  QWebEnginePage::DownloadLinkToDisk, QWebEnginePage::SavePage,
                  QWebEnginePage::ViewSource, QWebEnginePage::InspectElement}) {
                QVERIFY2(!actions.contains(page->action(unused)),
                         qPrintable(page->action(unused)->text()));
            }
            const QWebEnginePage::WebAction kept =
                point == onLink ? QWebEnginePage::CopyLinkToClipboard : QWebEnginePage::Reload;
            QVERIFY(actions.contains(page->action(kept)));
            // The window's own page commands, which the menu bar doesn't hold.
            for (const char* command : {"printPage", "savePdf", "darkMode"}) {
                QVERIFY2(actions.contains(child<QAction>(run, command)), command);
            }
            QVERIFY(!actions.first()->isSeparator() && !actions.last()->isSeparator());
            for (qsizetype i = 1; i < actions.size(); ++i) {
                QVERIFY(!(actions[i]->isSeparator() && actions[i - 1]->isSeparator()));
            }
            menu->close();
            QTRY_VERIFY(pageMenu() == nullptr);
        }
        QVERIFY(run.form->close());
        QVERIFY(run.errors().empty());
    }

    void aFreshPageForOneThatHung_isFollowedZoomedAndSearchedAsTheOldOne() {
        SandboxDir dir;
        using pelmaro::test::htmlPage;
        dir.write("help/a.htm", htmlPage("Endless", "<script>for (;;) {}</script>"));
        dir.write("help/b.htm", htmlPage("Next", "<a id='toThird' href='c.htm'>third</a>"));
        dir.write("help/c.htm", htmlPage("Third", "word word"));
        ProgramRun run;
        QVERIFY(run.start());
        run.build(dir / "help", true);
        QCOMPARE(run.titles(), (Lines{"Endless", "Next", "Third"}));
        key(run, Qt::Key_Equal, Qt::ControlModifier);
        run.clickRow("titleList", 0);
        QTest::qWait(1500);  // the picked page hangs, and is kept
        QWebEnginePage* const hung = run.browser()->page();
        run.clickRow("titleList", 1);
        QTRY_VERIFY_WITH_TIMEOUT(run.browser()->page() != hung, 8000);
        QTRY_COMPARE_WITH_TIMEOUT(run.pageTitle(), QStringLiteral("Next"), 8000);

        QCOMPARE(run.browser()->zoomFactor(), 1.1);
        QVERIFY(followLink(run, "toThird"));
        QCOMPARE(run.selected(), 2);
        key(run, Qt::Key_F, Qt::ControlModifier);
        QTest::keyClicks(child<QLineEdit>(run, "findText"), QStringLiteral("word"));
        QTRY_COMPARE(child<QLabel>(run, "findCount")->text(), QStringLiteral("1 of 2"));
        QVERIFY(run.errors().empty());
    }

    void findBar_countsStepsAndCloses_andAResultOpensWithItsTextFound() {
        SandboxDir dir;
        const LinkedPages pages(dir);
        ProgramRun run;
        QVERIFY(run.start());
        run.build(pages.folder, true);
        QVERIFY(run.clickTitle(2));

        key(run, Qt::Key_F, Qt::ControlModifier);
        auto* bar = child<QWidget>(run, "findBar");
        auto* text = child<QLineEdit>(run, "findText");
        auto* count = child<QLabel>(run, "findCount");
        QTRY_VERIFY(bar->isVisible());
        QCOMPARE(QApplication::focusWidget(), text);
        QTest::keyClicks(text, QStringLiteral("NEEDLE"));
        QTRY_COMPARE(count->text(), QStringLiteral("1 of 3"));
        QTest::keyClick(text, Qt::Key_Return);
        QTRY_COMPARE(count->text(), QStringLiteral("2 of 3"));
        QTest::keyClick(text, Qt::Key_Return, Qt::ShiftModifier);
        QTRY_COMPARE(count->text(), QStringLiteral("1 of 3"));
        QTest::keyClick(text, Qt::Key_X);
        QTRY_COMPARE(count->text(), QStringLiteral("not found"));
        QTest::keyClick(text, Qt::Key_Escape);
        QVERIFY(!bar->isVisible());
        QVERIFY(pageHasFocus(run));
        // F4 and F3 keep their meaning: the titles are searched.
        run.dialogs.inputAnswers = {"alpha"};
        QVERIFY(run.pressAndWaitForPage(Qt::Key_F4));
        QCOMPARE(run.selected(), 0);

        run.dialogs.inputAnswers = {"and needle"};
        run.press(Qt::Key_F11);
        QCOMPARE(run.list("results").items(), Lines{"Gamma|2"});
        // The results take the keys as they come over the page, the focus on their first row,
        // selected or not: Enter opens it.
        QTRY_COMPARE(QApplication::focusWidget(), child<QWidget>(run, "resultList"));
        QVERIFY(
            pelmaro::test::loadAndWait(run.browser()->page(), [&] { key(run, Qt::Key_Return); }));
        QCOMPARE(run.selected(), 2);
        QTRY_VERIFY(bar->isVisible());
        QCOMPARE(text->text(), QStringLiteral("and needle"));
        QTRY_COMPARE(count->text(), QStringLiteral("1 of 1"));
        // The next search's rows come under the first's: Enter opens the best of them, not the
        // result opened before.
        run.dialogs.inputAnswers = {"beta"};
        run.press(Qt::Key_F11);
        QTRY_VERIFY(!run.form->reader().searching());
        QCOMPARE(run.list("results").count(), 3);
        QTRY_COMPARE(QApplication::focusWidget(), child<QWidget>(run, "resultList"));
        QVERIFY(
            pelmaro::test::loadAndWait(run.browser()->page(), [&] { key(run, Qt::Key_Return); }));
        QCOMPARE(run.selected(), 1);
        QVERIFY(run.errors().empty());
    }

    void zoomAndListWidth_surviveARestart() {
        SandboxDir dir;
        const LinkedPages pages(dir);
        {
            ProgramRun run;
            QVERIFY(run.start());
            run.build(pages.folder, true);
            QVERIFY(run.clickTitle(0));
            key(run, Qt::Key_Equal, Qt::ControlModifier);
            key(run, Qt::Key_Plus, Qt::ControlModifier | Qt::KeypadModifier);
            QCOMPARE(run.browser()->zoomFactor(), 1.25);
            QWidget* page = run.browser()->focusProxy();
            const QPoint middle = page->rect().center();
            QWheelEvent notch(middle, page->mapToGlobal(middle), {}, {0, 120}, Qt::NoButton,
                              Qt::ControlModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(page, &notch);
            QCOMPARE(run.browser()->zoomFactor(), 1.5);
            child<QSplitter>(run, "splitter")->setSizes({200, 300});
            QVERIFY(run.form->close());
        }
        ProgramRun run;
        QVERIFY(run.start());
        QCOMPARE(run.browser()->zoomFactor(), 1.5);
        QCOMPARE(child<QSplitter>(run, "splitter")->sizes().value(0), 200);
        key(run, Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(run.browser()->zoomFactor(), 1.0);
        key(run, Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(run.browser()->zoomFactor(), 0.9);
        QVERIFY(run.errors().empty());
    }

    void fullSearch_showsResultsBestFirstWithContext_andTheSwitchBackIsRemembered() {
        SandboxDir dir;
        using pelmaro::test::htmlPage;
        dir.write("help/a.htm", htmlPage("Alpha", "<p>one needle</p>"));
        dir.write("help/b.htm", htmlPage("Needle guide", "<p>nothing</p>"));
        dir.write("help/c.htm", htmlPage("Gamma", "<p>needle, <b>NEEDLE</b> and needle</p>"));
        dir.write("help/d/x.htm", htmlPage("Alpha", "<p>needle</p>"));
        const auto titleOf = [](std::string_view reference) {
            return std::string(reference.substr(0, reference.rfind('|')));
        };
        const auto rowText = [](ProgramRun& run, int row, int role) {
            const auto& results = run.list("results");
            return results.data(results.index(row), role).toString();
        };
        Lines catalogueOrder;
        {
            ProgramRun run;
            QVERIFY(run.start());
            run.build(dir / "help", true);
            run.dialogs.inputAnswers = {"needle"};
            run.press(Qt::Key_F11);
            const auto& results = run.list("results");
            QCOMPARE(results.count(), 4);
            // The title, the most hits, then the earlier hit ("alpha needle" before "alpha one
            // needle"); the two Alphas name their folders.
            QCOMPARE(titleOf(results.item(0)), "Needle guide");
            QCOMPARE(titleOf(results.item(1)), "Gamma");
            QVERIFY(rowText(run, 2, Qt::DisplayRole).startsWith(QStringLiteral("Alpha \u2014 ")));
            QVERIFY(rowText(run, 2, Qt::DisplayRole).section('\n', 0, 0).endsWith("/d"));
            QCOMPARE(rowText(run, 2, Qt::DisplayRole).section('\n', 1), "Alpha needle");
            QVERIFY(rowText(run, 3, Qt::DisplayRole).section('\n', 0, 0).endsWith("/help"));
            QCOMPARE(rowText(run, 1, Qt::DisplayRole).section('\n', 0, 0), "Gamma");
            QVERIFY(rowText(run, 1, Qt::AccessibleTextRole)
                        .endsWith(QStringLiteral("\nGamma needle, NEEDLE and needle")));
            auto* heading =
                child<QWidget>(run, "resultList")->parentWidget()->findChild<QLabel*>("heading");
            QVERIFY(heading->text().endsWith(QStringLiteral("\u203a \u2014 4 found")));

            // Back to catalogue order: the result the user chose stays chosen.
            run.clickRow("resultList", 1);
            // From the results' own menu, as the keyboard reaches it: the box follows.
            child<QAction>(run, "bestFirstChoice")->trigger();
            QVERIFY(!child<QCheckBox>(run, "bestFirst")->isChecked());
            catalogueOrder = results.items().toVector();
            QVERIFY(std::is_sorted(catalogueOrder.begin(), catalogueOrder.end(),
                                   [](const std::string& a, const std::string& b) {
                                       return pelmaro::readEntryReference(a) <
                                              pelmaro::readEntryReference(b);
                                   }));
            QVERIFY(results.selectedIndex() >= 0);
            QCOMPARE(titleOf(results.item(results.selectedIndex())), "Gamma");

            // Esc closes the overlay.
            child<QWidget>(run, "resultList")->setFocus();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            QTRY_VERIFY(!run.shown("resultList"));
            QVERIFY(run.errors().empty());
            QVERIFY(run.form->close());
        }
        ProgramRun run;
        QVERIFY(run.start());
        QVERIFY(!child<QCheckBox>(run, "bestFirst")->isChecked());
        // A search that found nothing says so, once it has ended.
        auto* emptyLine =
            child<QWidget>(run, "resultList")->parentWidget()->findChild<QLabel*>("emptyLine");
        run.dialogs.inputAnswers = {"haystack"};
        run.press(Qt::Key_F11);
        QTRY_VERIFY(!run.form->reader().searching());
        QVERIFY(emptyLine->isVisible());
        QCOMPARE(emptyLine->text(), "No page holds the text.");
        run.dialogs.inputAnswers = {"needle"};
        run.press(Qt::Key_F11);
        QCOMPARE(run.list("results").items().toVector(), catalogueOrder);
        QVERIFY(!emptyLine->isVisible());
        QVERIFY(run.errors().empty());
    }

    void fullSearch_showsTheNewSearchsRowsUnderManyOlderOnes() {
        SandboxDir dir;
        using pelmaro::test::htmlPage;
        for (int n = 0; n < 80; ++n) {
            dir.write(
                "help/p" + std::to_string(n) + ".htm",
                htmlPage("Page " + std::to_string(n), n >= 78 ? "<p>needle</p>" : "<p>x</p>"));
        }
        ProgramRun run;
        QVERIFY(run.start());
        run.build(dir / "help", true);
        run.dialogs.inputAnswers = {"page"};
        run.press(Qt::Key_F11);
        QTRY_VERIFY(!run.form->reader().searching());
        run.dialogs.inputAnswers = {"needle"};
        run.press(Qt::Key_F11);
        QTRY_VERIFY(!run.form->reader().searching());
        auto* view = child<QListView>(run, "resultList");
        QCOMPARE(view->model()->rowCount(), 82);
        // Both of its rows, below the 80 of the first search.
        for (const int row : {80, 81}) {
            QTRY_VERIFY(
                view->viewport()->rect().contains(view->visualRect(view->model()->index(row, 0))));
        }
        QCOMPARE(view->currentIndex().row(), 80);
        QVERIFY(run.errors().empty());
    }

    void open_takesTheResultsOfTheOldCatalogueAway_andLongCommandsWaitDisabled() {
        SandboxDir dir;
        const LinkedPages pages(dir);
        dir.write("other/pelmaropath.title", pelmaro::formatLineList({"Outside"}));
        dir.write("other/pelmaropath.path", pelmaro::formatLineList({pages.outside}));
        ProgramRun run;
        QVERIFY(run.start());
        run.build(pages.folder, true);
        std::filesystem::remove(pages.b);  // gone since the build: said, not hidden

        run.dialogs.inputAnswers = {"needle"};
        QTest::keyClick(run.form.get(), Qt::Key_F11);
        // The search runs: what can't run meanwhile shows disabled; F11 stops it.
        QVERIFY(run.form->reader().busy());
        QVERIFY(!child<QAction>(run, "buildFromFolder")->isEnabled());
        QVERIFY(!child<QAction>(run, "openStored")->isEnabled());
        QVERIFY(child<QAction>(run, "startOrStopFullSearch")->isEnabled());
        QVERIFY(run.settle());
        QVERIFY(child<QAction>(run, "openStored")->isEnabled());
        QCOMPARE(run.list("results").items(), Lines{"Gamma|2"});
        auto* heading =
            child<QWidget>(run, "resultList")->parentWidget()->findChild<QLabel*>("heading");
        QVERIFY(heading->text().contains(QStringLiteral("needle")));
        QVERIFY(heading->text().endsWith(QStringLiteral(" \u2014 1 page could not be read")));
        QVERIFY(heading->toolTip().startsWith(QString::fromStdString(pages.b + ": ")));

        run.dialogs.openAnswers = {dir / "other/pelmaropath.path"};
        run.press(Qt::Key_F9);
        QCOMPARE(run.titles(), Lines{"Outside"});
        QVERIFY(run.list("results").items().empty());
        QCOMPARE(heading->text(), QStringLiteral("Results"));  // the headings went too
        QVERIFY(heading->toolTip().isEmpty());
        QVERIFY(run.shown("resultList"));
        run.doubleClickRow("resultList", 0);  // on no item: only hides the list
        QTRY_VERIFY(!run.shown("resultList"));
        QCOMPARE(child<QLabel>(run, "catalogueStatus")->text().toStdString(),
                 dir / "other/pelmaropath.path, 1 entry");
        QVERIFY(run.errors().empty());
    }

    void tabAndShiftTab_toggleBetweenListAndAPageFullOfLinks() {
        SandboxDir dir;
        std::string links;
        for (int i = 0; i < 40; ++i) {
            links += "<a href='#l" + std::to_string(i) + "'>link " + std::to_string(i) + "</a> ";
        }
        dir.write("help/links.htm", pelmaro::test::htmlPage("Links", links));
        ProgramRun run;
        QVERIFY(run.start());
        run.build(dir / "help", true);
        QVERIFY(run.clickTitle(0));
        auto* titleList = child<QWidget>(run, "titleList");
        titleList->setFocus();
        for (const Qt::Key tab : {Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Backtab, Qt::Key_Tab}) {
            key(run, tab);
            QTRY_VERIFY(pageHasFocus(run));
            key(run, tab);  // in the page, where Tab would walk the links
            QTRY_COMPARE(QApplication::focusWidget(), titleList);
        }
        // From the find bar too.
        key(run, Qt::Key_F, Qt::ControlModifier);
        QTRY_COMPARE(QApplication::focusWidget(), child<QWidget>(run, "findText"));
        key(run, Qt::Key_Tab);
        QTRY_COMPARE(QApplication::focusWidget(), titleList);
        // The list lying over the page takes the keys as it comes and gives them back as it
        // goes; it and quick find over the title list take their places.
        run.press(Qt::Key_F8);
        QTRY_COMPARE(QApplication::focusWidget(), child<QWidget>(run, "bookmarkList"));
        key(run, Qt::Key_Tab);
        QTRY_COMPARE(QApplication::focusWidget(), titleList);
        key(run, Qt::Key_Tab);
        QTRY_COMPARE(QApplication::focusWidget(), child<QWidget>(run, "bookmarkList"));
        run.press(Qt::Key_F8);
        QTRY_COMPARE(QApplication::focusWidget(), titleList);
        key(run, Qt::Key_K, Qt::ControlModifier);
        QWidget* quickFind = child<QWidget>(run, "quickFindFilter");
        QTRY_COMPARE(QApplication::focusWidget(), quickFind);
        key(run, Qt::Key_Tab);
        QTRY_VERIFY(pageHasFocus(run));
        key(run, Qt::Key_Tab);
        QTRY_COMPARE(QApplication::focusWidget(), quickFind);
    }

private:
    WindowManager manager_;
    bool windowManager_ = false;
};

PELMARO_APP_TEST_MAIN(WindowBrowseTest)
#include "window_browse_test.moc"
