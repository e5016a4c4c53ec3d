// Tabs through the real window: opened by Ctrl+T and by a middle click on a link, switched by
// keys with the title list following, closed and opened again, and back after a restart with
// their pages and scroll positions, only the current one loaded. A page opens no tab by itself.
#include <QTabBar>
#include <QTest>

#include "app/browser_pane.h"
#include "app/page_tabs.h"
#include "tests/app/app_test_main.h"
#include "tests/app/program_run.h"

using pelmaro::app::PageTabs;
using pelmaro::test::evaluate;
using pelmaro::test::ProgramRun;
using pelmaro::test::SandboxDir;

namespace {

const char kTall[] = "<div style='height:5000px'>tall</div>";

// "Alpha", "Beta" (which links to "Gamma") and "Gamma", each tall enough to scroll.
std::string writePages(const SandboxDir& dir) {
    using pelmaro::test::htmlPage;
    dir.write("help/a.htm", htmlPage("Alpha", kTall));
    dir.write("help/b.htm",
              htmlPage("Beta", std::string("<p><a id='toGamma' href='c.htm'>Gamma</a></p>"
                                           "<p><a id='elsewhere' href='pelmaro://tree9/etc/"
                                           "passwd'>elsewhere</a></p>") +
                                   kTall));
    dir.write("help/c.htm", htmlPage("Gamma", kTall));
    return dir / "help";
}

PageTabs& tabs(ProgramRun& run) {
    return *run.form->findChild<PageTabs*>(QStringLiteral("pageTabs"));
}

QWebEnginePage* pageOf(ProgramRun& run, int tab) {
    return tabs(run).at(tab).view().page();
}

void keys(ProgramRun& run, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
    QTest::keyClick(run.form.get(), key, modifiers);
}

int scrollY(QWebEnginePage* page) {
    return evaluate(page, QStringLiteral("Math.round(window.scrollY)")).toInt();
}

std::string titleOf(ProgramRun& run) {
    return run.titles()[static_cast<std::size_t>(run.selected())];
}

// Clicks the middle of the element with that id with the middle button (or Ctrl and the primary
// one), the pointer there first.
bool middleClick(ProgramRun& run, int tab, const QString& id, bool ctrlClick = false) {
    QWebEngineView& view = tabs(run).at(tab).view();
    const QVariantList centre =
        evaluate(view.page(),
                 QStringLiteral("(r => [r.x + r.width / 2, r.y + r.height / 2])("
                                "document.getElementById('%1').getBoundingClientRect())")
                     .arg(id))
            .toList();
    if (centre.size() != 2) {
        return false;
    }
    QWidget* target = view.focusProxy() ? view.focusProxy() : &view;
    const QPoint point(qRound(centre[0].toDouble()), qRound(centre[1].toDouble()));
    QSignalSpy hovered(view.page(), &QWebEnginePage::linkHovered);
    QTest::mouseMove(target, point);
    if (hovered.isEmpty() && !hovered.wait(2000)) {
        return false;
    }
    if (ctrlClick) {
        QTest::mouseClick(target, Qt::LeftButton, Qt::ControlModifier, point);
    } else {
        QTest::mouseClick(target, Qt::MiddleButton, {}, point);
    }
    return true;
}

}  // namespace

class WindowTabsTest : public QObject {
    Q_OBJECT

private slots:
    void tabs_comeBackAfterARestart_withTheirPagesAndScrollPositions() {
        SandboxDir dir;
        const std::string folder = writePages(dir);
        {
            ProgramRun run;
            QVERIFY(run.start());
            run.build(folder, true);
            auto* bar = run.form->findChild<QTabBar*>(QStringLiteral("tabBar"));
            QCOMPARE(run.titles(), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
            QVERIFY(run.clickTitle(0));
            QVERIFY(!bar->isVisible());  // one tab: as a window without tabs

            // Ctrl+T: the selected entry in a new tab, then Beta picked there.
            keys(run, Qt::Key_T);
            QCOMPARE(tabs(run).count(), 2);
            QCOMPARE(tabs(run).currentIndex(), 1);
            QTRY_VERIFY(bar->isVisible());
            QVERIFY(
                pelmaro::test::loadAndWait(pageOf(run, 1), [&] { run.clickRow("titleList", 1); }));

            // A middle click on Beta's link opens Gamma in a third tab, behind.
            QVERIFY(middleClick(run, 1, QStringLiteral("toGamma")));
            QTRY_COMPARE(tabs(run).count(), 3);
            QCOMPARE(tabs(run).currentIndex(), 1);
            QTRY_COMPARE(tabs(run).at(2).shownFile(),
                         std::optional<std::string>(folder + "/c.htm"));
            QCOMPARE(titleOf(run), std::string("Beta"));
            // Beta's own history was not touched.
            QCOMPARE(tabs(run).at(1).shownFile(), std::optional<std::string>(folder + "/b.htm"));

            // Each tab scrolled its own way, as the user scrolls: the tab in front.
            const int scrolls[] = {1000, 1500, 2200};
            for (int tab = 0; tab < 3; ++tab) {
                tabs(run).select(tab);
                // Until the tab in front has been laid out, a page can't scroll.
                QVERIFY(QTest::qWaitFor(
                    [&] {
                        evaluate(pageOf(run, tab),
                                 QStringLiteral("window.scrollTo(0, %1)").arg(scrolls[tab]));
                        return tabs(run).at(tab).scrollY() == scrolls[tab];
                    },
                    5000));
            }
            keys(run, Qt::Key_2);

            // Ctrl+3 and Ctrl+Shift+Tab switch, and the list follows the tab.
            keys(run, Qt::Key_3);
            QCOMPARE(tabs(run).currentIndex(), 2);
            QTRY_COMPARE(titleOf(run), std::string("Gamma"));
            keys(run, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
            QCOMPARE(tabs(run).currentIndex(), 1);
            QTRY_COMPARE(titleOf(run), std::string("Beta"));

            // Ctrl+W closes Alpha's tab; Ctrl+Shift+T brings it back, scrolled as it was.
            keys(run, Qt::Key_1);
            QTRY_COMPARE(titleOf(run), std::string("Alpha"));
            keys(run, Qt::Key_W);
            QCOMPARE(tabs(run).count(), 2);
            QTRY_COMPARE(titleOf(run), std::string("Beta"));
            keys(run, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
            QCOMPARE(tabs(run).count(), 3);
            QTRY_COMPARE(tabs(run).current().shownFile(),
                         std::optional<std::string>(folder + "/a.htm"));
            QTRY_COMPARE(scrollY(tabs(run).current().view().page()), 1000);
            keys(run, Qt::Key_W);

            // Closed again, its neighbour is in front; Ctrl+Tab goes round.
            QCOMPARE(tabs(run).count(), 2);
            QTRY_COMPARE(titleOf(run), std::string("Gamma"));
            keys(run, Qt::Key_Tab);
            QTRY_COMPARE(titleOf(run), std::string("Beta"));
            keys(run, Qt::Key_Tab);
            QTRY_COMPARE(titleOf(run), std::string("Gamma"));
            QVERIFY(run.form->close());
            QVERIFY(run.errors().empty());
        }
        ProgramRun run;
        QVERIFY(run.start());
        QCOMPARE(tabs(run).count(), 2);
        QCOMPARE(tabs(run).currentIndex(), 1);
        QTRY_COMPARE(tabs(run).current().shownFile(),
                     std::optional<std::string>(folder + "/c.htm"));
        QTRY_COMPARE(scrollY(pageOf(run, 1)), 2200);
        QTRY_COMPARE(titleOf(run), std::string("Gamma"));
        // Only the current tab has loaded.
        QVERIFY(pageOf(run, 0)->url().isEmpty());
        keys(run, Qt::Key_1);
        QTRY_COMPARE(tabs(run).current().shownFile(),
                     std::optional<std::string>(folder + "/b.htm"));
        QTRY_COMPARE(scrollY(pageOf(run, 0)), 1500);
        QTRY_COMPARE(titleOf(run), std::string("Beta"));
        while (tabs(run).count() > 1) {
            keys(run, Qt::Key_W);
        }
        keys(run, Qt::Key_W);
        QCOMPARE(tabs(run).count(), 1);
        QVERIFY(run.form->close());
    }

    void pages_openNoTabByThemselves() {
        SandboxDir dir;
        const std::string folder = writePages(dir);
        ProgramRun run;
        QVERIFY(run.start());
        run.build(folder, false);
        QVERIFY(run.clickTitle(1));
        QWebEnginePage* page = pageOf(run, 0);
        // A script's window.open, a synthetic middle click and Ctrl+click on the link, a real
        // middle click on a link into another tree: no tab, and the page stays.
        evaluate(page,
                 QStringLiteral(
                     "window.open('c.htm'); const a = document.getElementById('toGamma');"
                     "a.dispatchEvent(new MouseEvent('click', {button: 1, bubbles: true}));"
                     "a.dispatchEvent(new MouseEvent('auxclick', {button: 1, bubbles: true}));"
                     "a.dispatchEvent(new MouseEvent('click', {ctrlKey: true, bubbles: true}));"
                     "0"));
        QVERIFY(middleClick(run, 0, QStringLiteral("elsewhere")));
        QTest::qWait(1500);
        QCOMPARE(tabs(run).count(), 1);
        QCOMPARE(tabs(run).current().shownFile(), std::optional<std::string>(folder + "/b.htm"));
        // The control: a real middle click on that link opens it, and so does Ctrl+click; the
        // page stays where it was.
        QVERIFY(middleClick(run, 0, QStringLiteral("toGamma")));
        QTRY_COMPARE(tabs(run).count(), 2);
        QVERIFY(middleClick(run, 0, QStringLiteral("toGamma"), true));
        QTRY_COMPARE(tabs(run).count(), 3);
        QTest::qWait(500);
        QCOMPARE(tabs(run).current().shownFile(), std::optional<std::string>(folder + "/b.htm"));
        QVERIFY(run.form->close());
    }
};

PELMARO_APP_TEST_MAIN(WindowTabsTest)
#include "window_tabs_test.moc"
