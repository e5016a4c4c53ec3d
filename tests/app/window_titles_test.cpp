// Titles as people read them, through the real window: a page in GBK shows its title decoded,
// and quick find (Ctrl+K) finds it by what it shows and opens it.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "tests/app/app_test_main.h"
#include "tests/app/program_run.h"

using pelmaro::test::ProgramRun;
using pelmaro::test::SandboxDir;

class WindowTitlesTest : public QObject {
    Q_OBJECT

private slots:
    void gbkTitle_isShownDecoded_andQuickFindOpensIt() {
        SandboxDir dir;
        // "帮助中心" in GBK, as the page declares; the stored title keeps these bytes.
        const std::string gbk =
            dir.write("help/gbk.htm",
                      "<html><head><meta charset=\"gbk\"><title>\xb0\xef\xd6\xfa\xd6\xd0"
                      "\xd0\xc4</title></head><body>\xb0\xef\xd6\xfa</body></html>");
        dir.write("help/a.htm", pelmaro::test::htmlPage("Java &amp; more"));
        ProgramRun run;
        QVERIFY(run.start());
        run.build(dir / "help", false);
        QCOMPARE(run.titles(),
                 (std::vector<std::string>{"Java &amp; more", "\xb0\xef\xd6\xfa\xd6\xd0\xd0\xc4"}));
        const QAbstractItemModel& shown = run.list("titles");
        QCOMPARE(shown.data(shown.index(0, 0)).toString(), QStringLiteral("Java & more"));
        QCOMPARE(shown.data(shown.index(1, 0)).toString(),
                 QStringLiteral("\u5e2e\u52a9\u4e2d\u5fc3"));

        QTest::keyClick(run.form.get(), Qt::Key_K, Qt::ControlModifier);
        auto* filter = run.form->findChild<QLineEdit*>(QStringLiteral("quickFindFilter"));
        QVERIFY(filter && filter->isVisible());
        QVERIFY(pelmaro::test::loadAndWait(run.browser()->page(), [&] {
            // Typed as an input method types it: one key event carrying the text.
            QKeyEvent typed(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier,
                            QStringLiteral("\u4e2d\u5fc3"));
            QApplication::sendEvent(filter, &typed);
            // The titles may still be indexing: the list fills in once they are.
            (void)QTest::qWaitFor([&] {
                return run.form->findChild<QWidget*>(QStringLiteral("quickFindMatches"))
                           ->property("count")
                           .toInt() > 0;
            });
            QTest::keyClick(filter, Qt::Key_Return);
        }));
        QCOMPARE(run.selected(), 1);
        QCOMPARE(run.shownFile(), std::optional<std::string>(gbk));
        QVERIFY(!filter->isVisible());

        // A letter typed in the title list opens quick find with it; Esc leaves all as it was.
        auto* titleList = run.form->findChild<QWidget*>(QStringLiteral("titleList"));
        titleList->setFocus();
        QTest::keyClick(titleList, Qt::Key_J);
        QVERIFY(filter->isVisible());
        QCOMPARE(filter->text(), QStringLiteral("j"));
        QTRY_COMPARE(run.form->findChild<QLabel*>(QStringLiteral("quickFindSummary"))->text(),
                     QStringLiteral("1 title"));
        QTest::keyClick(filter, Qt::Key_Escape);
        QVERIFY(!filter->isVisible());
        QCOMPARE(run.selected(), 1);
        QVERIFY(run.errors().empty());
    }
};

PELMARO_APP_TEST_MAIN(WindowTitlesTest)
#include "window_titles_test.moc"
