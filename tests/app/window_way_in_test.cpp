// The ways in beside the title list, through the real window: the Contents view shows the
// catalogue as its folders hold it, follows the page through a link and back, shows the page's
// headings and scrolls to one; the start page greets a first start, opens a recent catalogue and
// comes back on F1.
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "app/contents_panel.h"
#include "tests/app/app_test_main.h"
#include "tests/app/program_run.h"
#include "tests/app/web_helpers.h"

#include <filesystem>

using pelmaro::test::ProgramRun;
using pelmaro::test::SandboxDir;

namespace {

QString currentText(QTreeView& tree) {
    return tree.currentIndex().data().toString();
}

}  // namespace

class WindowWayInTest : public QObject {
    Q_OBJECT

private slots:
    void contents_followTheLinksShowHeadingsAndScroll() {
        using pelmaro::test::htmlPage;
        SandboxDir dir;
        const std::string folder = dir / "help";
        dir.write("help/index.htm", htmlPage("Start", "<a id='toTen' href='ch10.htm'>ten</a>"));
        dir.write("help/ch10.htm", htmlPage("10. Reference",
                                            "<h1>Reference</h1><div style='height: 3000px'></div>"
                                            "<h2 id='late'>Late part</h2>"));
        dir.write("help/ch2.htm", htmlPage("2. Tutorial"));
        dir.write("help/sub/x.htm", htmlPage("Inside"));
        ProgramRun run;
        QVERIFY(run.start());
        run.build(folder, true);
        QVERIFY(run.clickTitle(run.titles().size() - 1));  // "Start", last in byte order

        QTest::keyClick(run.form->windowHandle(), Qt::Key_C, Qt::AltModifier);
        auto* tree = run.form->findChild<QTreeView*>(QStringLiteral("contentsTree"));
        QVERIFY(tree != nullptr);
        QTRY_VERIFY(tree->isVisible());
        QCOMPARE(currentText(*tree), QStringLiteral("Start"));
        // The index page first, then the folder, then the pages in natural order.
        QAbstractItemModel& model = *tree->model();
        QStringList top;
        for (int row = 0; row < model.rowCount(); ++row) {
            top << model.index(row, 0).data().toString();
        }
        QCOMPARE(top,
                 (QStringList{QStringLiteral("Start"), QStringLiteral("sub"),
                              QStringLiteral("2. Tutorial"), QStringLiteral("10. Reference")}));

        // A link: the contents follow, and show the new page's headings under it.
        QVERIFY(pelmaro::test::loadAndWait(run.browser()->page(), [&] {
            QVERIFY(pelmaro::test::clickElement(run.browser(), run.browser()->page(),
                                                QStringLiteral("toTen")));
        }));
        QTRY_COMPARE(currentText(*tree), QStringLiteral("10. Reference"));
        QTRY_COMPARE(model.rowCount(tree->currentIndex()), 2);
        const QModelIndex late = model.index(1, 0, tree->currentIndex());
        QCOMPARE(late.data().toString(), QStringLiteral("Late part"));
        tree->setCurrentIndex(late);
        QTest::keyClick(tree, Qt::Key_Return);
        QTRY_VERIFY(pelmaro::test::evaluate(run.browser()->page(), QStringLiteral("window.scrollY"))
                        .toInt() > 1000);

        // Back: the contents follow again.
        QTest::keyClick(run.form->windowHandle(), Qt::Key_Left, Qt::AltModifier);
        QTRY_COMPARE(currentText(*tree), QStringLiteral("Start"));

        // "Leave this folder out" on "sub", asked first: built again without it (and stored);
        // "Bring back what was left out" builds it with it again.
        const auto chooseFromMenu = [&](const QModelIndex& at, int action) {
            QTimer::singleShot(300, [action] {
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                QVERIFY(menu != nullptr);
                menu->actions().at(action)->trigger();
                menu->close();
            });
            emit tree->customContextMenuRequested(tree->visualRect(at).center());
            run.settle();
        };
        run.dialogs.yesNoAnswers = {true, true};
        chooseFromMenu(model.index(1, 0), 0);
        QTRY_COMPARE(run.titles().size(), 3u);
        QVERIFY(std::filesystem::exists(dir / "help/.pelmaroignore"));
        run.dialogs.yesNoAnswers = {true};
        chooseFromMenu(model.index(0, 0), 0);
        QTRY_COMPARE(run.titles().size(), 4u);

        // Alt+I brings the title list back.
        QTest::keyClick(run.form->windowHandle(), Qt::Key_I, Qt::AltModifier);
        QTRY_VERIFY(!tree->isVisible());
        QVERIFY(run.form->findChild<QWidget*>(QStringLiteral("titleList"))->isVisible());
    }

    void startPage_greetsAFirstStartAndOpensARecentCatalogue() {
        using pelmaro::test::htmlPage;
        SandboxDir dir;
        dir.write("one/a.htm", htmlPage("One"));
        dir.write("two/b.htm", htmlPage("Two"));
        {
            ProgramRun run;
            QVERIFY(run.start());
            auto* start = run.form->findChild<QWidget*>(QStringLiteral("startPage"));
            QTRY_VERIFY(start->isVisible());
            run.build(dir / "one", true);
            QTRY_VERIFY(!start->isVisible());
            run.build(dir / "two", true);
            QVERIFY(run.form->close());
        }
        ProgramRun run;
        QVERIFY(run.start());  // the last catalogue comes back: no start page
        auto* start = run.form->findChild<QWidget*>(QStringLiteral("startPage"));
        QVERIFY(!start->isVisible());
        QTest::keyClick(run.form->windowHandle(), Qt::Key_F1);
        QTRY_VERIFY(start->isVisible());
        auto* recent = run.form->findChild<QListWidget*>(QStringLiteral("recentCatalogues"));
        QCOMPARE(recent->count(), 2);
        QCOMPARE(recent->item(0)->text(), QString::fromStdString(dir / "two/pelmaropath.path"));
        // A catalogue that has gone says so, and can be left out of the list.
        std::filesystem::remove(dir / "one/pelmaropath.path");
        QTest::keyClick(run.form->windowHandle(), Qt::Key_F1);
        QTest::keyClick(run.form->windowHandle(), Qt::Key_F1);
        QTRY_VERIFY(recent->item(1)->text().endsWith(QStringLiteral("(no longer there)")));
        recent->setCurrentRow(1);
        QTest::keyClick(recent, Qt::Key_Delete);
        QTRY_COMPARE(recent->count(), 1);
        // Enter on one opens it.
        recent->setCurrentRow(0);
        QTest::keyClick(recent, Qt::Key_Return);
        QTRY_VERIFY(!start->isVisible());
        QCOMPARE(run.titles(), (std::vector<std::string>{"Two"}));
    }
};

PELMARO_APP_TEST_MAIN(WindowWayInTest)
#include "window_way_in_test.moc"
