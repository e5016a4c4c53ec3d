// Printing and saving the shown page as PDF through the real window: the file the user picks is
// written whole, a failure is said and leaves the user's file alone, and a page's own
// window.print() shows nothing.
#include <QApplication>
#include <QStatusBar>
#include <QTest>

#include "app/page_printing.h"
#include "tests/app/app_test_main.h"
#include "tests/app/program_run.h"

using pelmaro::test::ProgramRun;
using pelmaro::test::SandboxDir;

namespace {

// Saves the shown page through Save as PDF (Ctrl+Shift+S) as `fileName`; false when the save did
// not end within 20 s.
bool saveAsPdf(ProgramRun& run, const std::string& fileName) {
    auto* printing = run.form->findChild<pelmaro::app::PagePrinting*>();
    QSignalSpy saved(printing, &pelmaro::app::PagePrinting::pdfSaved);
    run.dialogs.saveAnswers = {fileName};
    QTest::keyClick(run.form.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    return saved.wait(20000);
}

}  // namespace

class WindowPrintTest : public QObject {
    Q_OBJECT

private slots:
    void saveAsPdf_writesThePageWhole_andSaysWhere() {
        SandboxDir dir;
        dir.write("help/a.htm", pelmaro::test::htmlPage("Tea: a/b guide", "<h1>Brewing</h1>"));
        ProgramRun run;
        QVERIFY(run.start());
        run.build(dir / "help", false);
        QVERIFY(run.clickTitle(0));

        const std::string pdf = dir / "tea.pdf";
        QVERIFY(saveAsPdf(run, pdf));
        const std::string bytes = pelmaro::test::readFile(pdf);
        QVERIFY(bytes.size() > 500);
        QCOMPARE(bytes.substr(0, 5), std::string("%PDF-"));
        QVERIFY(run.errors().empty());
        QCOMPARE(run.dialogs.saveTitles, std::vector<std::string>{"Save as PDF"});
        // Suggested after the page's title, without what a file name can't hold.
        QCOMPARE(run.dialogs.suggestedNames, std::vector<std::string>{"Tea- a-b guide.pdf"});
        QVERIFY(run.form->statusBar()->currentMessage().contains(QStringLiteral("tea.pdf")));

        // The next save starts in the folder of the last one.
        QVERIFY(saveAsPdf(run, dir / "again.pdf"));
        QCOMPARE(run.dialogs.suggestedNames.back(), dir / "Tea- a-b guide.pdf");

        // A folder that isn't there: said in the error box; an existing file is never touched by
        // a failed save.
        const std::string kept = dir.write("kept.pdf", "mine");
        QVERIFY(saveAsPdf(run, dir / "missing/x.pdf"));
        QCOMPARE(run.errors().size(), std::size_t(1));
        QVERIFY2(run.errors()[0].find("Cannot create file") != std::string::npos,
                 run.errors()[0].c_str());
        QCOMPARE(pelmaro::test::readFile(kept), std::string("mine"));

        // Cancelled: nothing is written, nothing said.
        run.dialogs.saveAnswers = {std::nullopt};
        QTest::keyClick(run.form.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(run.dialogs.saveAnswers.empty());
        QCOMPARE(run.errors().size(), std::size_t(1));
    }

    void pagesOwnPrint_showsNothing() {
        SandboxDir dir;
        dir.write("help/a.htm", pelmaro::test::htmlPage("Printer", "<p>text</p>"));
        ProgramRun run;
        QVERIFY(run.start());
        run.build(dir / "help", false);
        QVERIFY(run.clickTitle(0));
        const QWidgetList before = QApplication::topLevelWidgets();
        pelmaro::test::evaluate(run.browser()->page(), QStringLiteral("window.print(); 'printed'"));
        QTest::qWait(1000);
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            QVERIFY2(before.contains(widget) || !widget->isVisible(),
                     qPrintable(widget->metaObject()->className()));
        }
        // The page goes on answering.
        QCOMPARE(run.pageTitle(), QStringLiteral("Printer"));
    }

    void pdfNames_keepTheTitleReadable() {
        const struct {
            QString title;
            std::string name;
        } cases[] = {
            {QStringLiteral("Tea: a/b guide"), "Tea- a-b guide.pdf"},
            {QString(), "page.pdf"},
            {QStringLiteral("  ..hidden  "), "hidden.pdf"},
            {QStringLiteral("a\u202Eexe.pdf"), "a-exe.pdf.pdf"},
            {QString(300, QChar(0x00e9)), std::string(200, 'x')},  // replaced below
        };
        for (const auto& c : cases) {
            const std::string name = pelmaro::app::pdfNameFor(c.title);
            if (c.title.size() == 300) {
                // Cut to at most 200 bytes, at a character's start.
                QCOMPARE(name.size(), std::size_t(200 + 4));
                QCOMPARE(QString::fromUtf8(name.c_str()).size(), 100 + 4);
            } else {
                QCOMPARE(name, c.name);
            }
        }
    }
};

PELMARO_APP_TEST_MAIN(WindowPrintTest)
#include "window_print_test.moc"
