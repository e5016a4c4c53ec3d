// The reader started with a name, as "pelmaro FOLDER" and "pelmaro CATALOGUE.path" start it: the
// Path and Open commands run as from their keys, with their dialog answered by the name.
#include <QTest>

#include "app/reader_arguments.h"
#include "catalogue/line_list.h"
#include "tests/app/app_test_main.h"
#include "tests/app/program_run.h"

using pelmaro::app::ReaderArguments;
using pelmaro::test::ProgramRun;
using pelmaro::test::SandboxDir;
using Action = ReaderArguments::Action;

namespace {

constexpr const char* kQuestion =
    "Information: save the result ?that last time can open it or load it auto";

ReaderArguments named(Action action, const std::string& name) {
    return {action, name, {}};
}

}  // namespace

class WindowStartTest : public QObject {
    Q_OBJECT

private slots:
    void folder_isBuiltAsF2WouldWithTheSameQuestion() {
        SandboxDir dir;
        pelmaro::test::writeNumberedPages(dir, "help", 3, "text");
        const std::string folder = dir / "help";
        ProgramRun run;
        QVERIFY(run.start());
        run.dialogs.yesNoAnswers = {true};
        run.startWith(named(Action::BuildFolder, folder));

        QVERIFY(run.dialogs.folderPrompts.empty());  // the name answered the picker
        QCOMPARE(run.dialogs.questions, std::vector<std::string>{kQuestion});
        QCOMPARE(run.titles(), (std::vector<std::string>{"Page 0000", "Page 0001", "Page 0002"}));
        QCOMPARE(pelmaro::test::readFile(folder + "/pelmaropath.title"),
                 pelmaro::formatLineList(run.titles()));
        QCOMPARE(run.form->currentCatalogue().BookmarkFileName, folder + "/pelmaropath.bookmark");
        QVERIFY(run.errors.empty());

        // The answer was for that one command: F2 afterwards shows the picker.
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
        run.startWith(named(Action::BuildFolder, dir / "help"));

        QCOMPARE(run.dialogs.questions, std::vector<std::string>{kQuestion});
        QCOMPARE(run.titles().size(), std::size_t(2));
        QVERIFY(!pelmaro::test::exists(dir / "help/pelmaropath.path"));
        QCOMPARE(run.form->currentCatalogue().BookmarkFileName, std::string());
    }

    void catalogue_isOpenedAsF9Would() {
        SandboxDir dir;
        const std::string first = dir.write("other/first.htm", pelmaro::test::htmlPage("First"));
        dir.write("other/pelmaropath.title", pelmaro::formatLineList({"First"}));
        dir.write("other/pelmaropath.path", pelmaro::formatLineList({first}));
        dir.write("other/pelmaropath.bookmark", pelmaro::formatLineList({"First|0"}));
        ProgramRun run;
        QVERIFY(run.start());
        run.startWith(named(Action::OpenCatalogue, dir / "other/pelmaropath.path"));

        QVERIFY(run.dialogs.openTitles.empty());  // the name answered the open dialog
        QCOMPARE(run.titles(), std::vector<std::string>{"First"});
        QCOMPARE(run.paths(), std::vector<std::string>{first});
        QCOMPARE(run.form->bookmarkList().items(), std::vector<std::string>{"First|0"});
        QCOMPARE(run.form->currentCatalogue().BookmarkFileName, dir / "other/pelmaropath.bookmark");
        QVERIFY(run.errors.empty());

        run.dialogs.openAnswers = {std::nullopt};
        run.press(Qt::Key_F9);
        QCOMPARE(run.dialogs.openTitles,
                 std::vector<std::string>{"select saved path database file"});
    }

    void catalogue_withoutItsTitles_saysSoAsF9Does() {
        SandboxDir dir;
        dir.write("lost/pelmaropath.path", pelmaro::formatLineList({dir / "lost/a.htm"}));
        ProgramRun run;
        QVERIFY(run.start());
        run.startWith(named(Action::OpenCatalogue, dir / "lost/pelmaropath.path"));

        QCOMPARE(run.dialogs.messages, std::vector<std::string>{"path title lost.can't loading"});
        QVERIFY(run.titles().empty());
        QVERIFY(run.errors.empty());
    }

    void noName_startsAsEver() {
        SandboxDir dir;
        ProgramRun run;
        QVERIFY(run.start());
        run.startWith({});  // every dialog is scripted: one asked now would fail the test
        QVERIFY(run.titles().empty());
        QVERIFY(run.dialogs.questions.empty());
        QVERIFY(run.errors.empty());
    }
};

PELMARO_APP_TEST_MAIN(WindowStartTest)
#include "window_start_test.moc"
