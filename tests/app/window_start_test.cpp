// The reader started with a name, as "pelmaro FOLDER" and "pelmaro CATALOGUE.path" start it: the
// build and the opening run as from their keys, without their dialog.
#include <QTest>

#include "app/reader_arguments.h"
#include "app/start_command.h"
#include "platform/line_list.h"
#include "tests/app/app_test_main.h"
#include "tests/app/program_run.h"

using pelmaro::app::ReaderArguments;
using pelmaro::test::ProgramRun;
using pelmaro::test::SandboxDir;
using Action = ReaderArguments::Action;

namespace {

constexpr const char* kQuestion =
    "Information: save the result ?that last time can open it or load it auto";

// What main() does once the window runs, then waits for the long work it started.
bool startWith(ProgramRun& run, Action action, const std::string& name) {
    pelmaro::app::runStartCommand(*run.form, {action, name, {}});
    return run.settle();
}

}  // namespace

class WindowStartTest : public QObject {
    Q_OBJECT

private slots:
    void folder_isBuiltAsF2Would_withTheSameQuestion() {
        SandboxDir dir;
        pelmaro::test::writeNumberedPages(dir, "help", 3, "text");
        const std::string folder = dir / "help";
        ProgramRun run;
        QVERIFY(run.start());
        run.dialogs.yesNoAnswers = {true};
        QVERIFY(startWith(run, Action::BuildFolder, folder));

        QVERIFY(run.dialogs.folderPrompts.empty());  // the name stands for the picker
        QCOMPARE(run.dialogs.questions, std::vector<std::string>{kQuestion});
        QCOMPARE(run.titles(), (std::vector<std::string>{"Page 0000", "Page 0001", "Page 0002"}));
        QCOMPARE(pelmaro::test::readFile(folder + "/pelmaropath.title"),
                 pelmaro::formatLineList(run.titles()));
        QCOMPARE(run.form->reader().currentCatalogue().bookmarkFile(),
                 folder + "/pelmaropath.bookmark");
        QVERIFY(run.errors().empty());

        // F2 afterwards asks for its folder as ever.
        run.dialogs.folderAnswers = {""};
        run.press(Qt::Key_F2);
        QCOMPARE(run.dialogs.folderPrompts,
                 std::vector<std::string>{"please select a path for scan"});
    }

    void folder_answeredNo_storesNothing() {
        SandboxDir dir;
        pelmaro::test::writeNumberedPages(dir, "help", 2, "text");
        ProgramRun run;
        QVERIFY(run.start());
        run.dialogs.yesNoAnswers = {false};
        QVERIFY(startWith(run, Action::BuildFolder, dir / "help"));

        QCOMPARE(run.dialogs.questions, std::vector<std::string>{kQuestion});
        QCOMPARE(run.titles().size(), std::size_t(2));
        QVERIFY(!pelmaro::test::exists(dir / "help/pelmaropath.path"));
        QCOMPARE(run.form->reader().currentCatalogue().bookmarkFile(), std::string());
    }

    void catalogue_isOpenedAsF9Would() {
        SandboxDir dir;
        const std::string first = dir.write("other/first.htm", pelmaro::test::htmlPage("First"));
        dir.write("other/pelmaropath.title", pelmaro::formatLineList({"First"}));
        dir.write("other/pelmaropath.path", pelmaro::formatLineList({first}));
        dir.write("other/pelmaropath.bookmark", pelmaro::formatLineList({"First|0"}));
        ProgramRun run;
        QVERIFY(run.start());
        QVERIFY(startWith(run, Action::OpenCatalogue, dir / "other/pelmaropath.path"));

        QVERIFY(run.dialogs.openTitles.empty());  // the name stands for the open dialog
        QCOMPARE(run.titles(), std::vector<std::string>{"First"});
        QCOMPARE(run.paths(), std::vector<std::string>{first});
        QCOMPARE(run.list("bookmarks").items(), std::vector<std::string>{"First|0"});
        QCOMPARE(run.form->reader().currentCatalogue().bookmarkFile(),
                 dir / "other/pelmaropath.bookmark");
        QVERIFY(run.errors().empty());
    }

    void catalogue_withoutItsTitles_saysSoAsF9Does() {
        SandboxDir dir;
        dir.write("lost/pelmaropath.path", pelmaro::formatLineList({dir / "lost/a.htm"}));
        ProgramRun run;
        QVERIFY(run.start());
        QVERIFY(startWith(run, Action::OpenCatalogue, dir / "lost/pelmaropath.path"));

        QCOMPARE(run.dialogs.messages, std::vector<std::string>{"path title lost.can't loading"});
        QVERIFY(run.titles().empty());
        QVERIFY(run.errors().empty());
    }

    void noName_startsAsEver() {
        SandboxDir dir;
        ProgramRun run;
        QVERIFY(run.start());
        // Every dialog is scripted: one asked now would fail the test.
        QVERIFY(startWith(run, Action::Start, ""));
        QVERIFY(run.titles().empty());
        QVERIFY(run.dialogs.questions.empty());
        QVERIFY(run.errors().empty());
    }
};

PELMARO_APP_TEST_MAIN(WindowStartTest)
#include "window_start_test.moc"
