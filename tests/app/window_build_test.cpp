// Building a catalogue through the real window: F2, the folder picker and the question answered
// by the test, the lists, the caption and the stored files, compared with pelmaro-cli's.
#include <QAbstractItemModel>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "bookmarks/bookmarks.h"
#include "platform/line_list.h"
#include "tests/app/app_test_main.h"
#include "tests/app/program_run.h"
#include "tests/cli/cli_runner.h"

using pelmaro::test::ProgramRun;
using pelmaro::test::SandboxDir;
using pelmaro::test::TempDir;

namespace {

constexpr const char* kQuestion =
    "Information: save the result ?that last time can open it or load it auto";

// A folder of pages, a text file, an image, a style sheet that is no page, an empty page that is
// no file to catalogue, subfolders, a title split over two lines, and titles that tie when
// upper-cased.
struct MixedTree {
    explicit MixedTree(const TempDir& dir) : folder(dir / "help") {
        dir.write("help/index.htm", pelmaro::test::htmlPage("Intro"));
        dir.write("help/guide.html", pelmaro::test::htmlPage("INTRO"));
        dir.write("help/sub/about.htm", "<HTML><HEAD><TITLE>Ab\r\nout</TITLE></HEAD></HTML>");
        dir.write("help/notes.txt", "Release notes\r\nsecond line\r\n");
        dir.write("help/logo.gif", pelmaro::test::gifBytes());
        dir.write("help/style.css", "body { color: black }\n");
        dir.write("help/sub/empty.htm", "");
        dir.write("help/sub/deeper/zeta.htm", pelmaro::test::htmlPage("Zeta"));
        dir.write("help/eclair.htm", pelmaro::test::htmlPage("\xc3\x89"
                                                             "clair"));
    }
    std::string operator/(const std::string& relative) const { return folder + "/" + relative; }

    std::string folder;
    // Each catalogued file's title; "Intro" and "INTRO" tie, and their order follows the order
    // the system lists the folder in.
    std::map<std::string, std::string> titleOf = {
        {"index.htm", "Intro"},
        {"guide.html", "INTRO"},
        {"sub/about.htm", "About"},
        {"notes.txt", "Release notes"},
        {"logo.gif", "logo"},
        {"sub/deeper/zeta.htm", "Zeta"},
        {"eclair.htm",
         "\xc3\x89"
         "clair"},
    };
};

}  // namespace

class WindowBuildTest : public QObject {
    Q_OBJECT

private slots:
    void f2AnsweredYes_ordersTheCatalogue_storesIt_andMatchesTheCli() {
        SandboxDir dir;
        const MixedTree tree(dir);
        ProgramRun run;
        QVERIFY(run.start());
        run.build(tree.folder, true);

        QCOMPARE(run.dialogs.folderPrompts,
                 std::vector<std::string>{"please select a path for scan"});
        QCOMPARE(run.dialogs.questions, std::vector<std::string>{kQuestion});
        QCOMPARE(run.caption(), std::string("sorting...7 total is 7"));
        // Upper-cased keys compare as bytes: "É" (C3 89) comes after every ASCII letter.
        const std::vector<std::string>& titles = run.titles();
        QCOMPARE(titles.size(), std::size_t(7));
        QCOMPARE(titles[0], std::string("About"));
        QCOMPARE((std::set<std::string>{titles[1], titles[2]}),
                 (std::set<std::string>{"INTRO", "Intro"}));
        QCOMPARE(std::vector<std::string>(titles.begin() + 3, titles.end()),
                 (std::vector<std::string>{"logo", "Release notes", "Zeta",
                                           "\xc3\x89"
                                           "clair"}));
        // The path list runs line for line beside the titles.
        QCOMPARE(run.paths().size(), titles.size());
        for (std::size_t i = 0; i < titles.size(); ++i) {
            const std::string relative = run.paths()[i].substr(tree.folder.size() + 1);
            QCOMPARE(tree.titleOf.at(relative), titles[i]);
        }
        // The window decodes the bytes for display, and only there.
        const QAbstractItemModel* shown =
            run.form->findChild<pelmaro::app::EntryListView*>("titleList")->model();
        QCOMPARE(shown->rowCount(), 7);
        QCOMPARE(shown->data(shown->index(6, 0)).toString(), QStringLiteral("\u00c9clair"));

        QCOMPARE(pelmaro::test::readFile(tree / "pelmaropath.title"),
                 pelmaro::formatLineList(titles));
        QCOMPARE(pelmaro::test::readFile(tree / "pelmaropath.path"),
                 pelmaro::formatLineList(run.paths()));
        QCOMPARE(run.form->reader().currentCatalogue().bookmarkFile(),
                 tree / "pelmaropath.bookmark");
        QVERIFY(run.errors().empty());

        // pelmaro-cli on the same folder, with the window's files moved out of its way.
        const TempDir aside;
        std::filesystem::rename(tree / "pelmaropath.title", aside / "window.title");
        std::filesystem::rename(tree / "pelmaropath.path", aside / "window.path");
        const pelmaro::test::CliRun cli =
            pelmaro::test::runCliIn(aside, "", {"build", tree.folder});
        QCOMPARE(cli.status, 0);
        QCOMPARE(pelmaro::test::readFile(tree / "pelmaropath.title"),
                 pelmaro::test::readFile(aside / "window.title"));
        QCOMPARE(pelmaro::test::readFile(tree / "pelmaropath.path"),
                 pelmaro::test::readFile(aside / "window.path"));
    }

    void clickingATitle_showsItsPage() {
        SandboxDir dir;
        const MixedTree tree(dir);
        ProgramRun run;
        QVERIFY(run.start());
        run.build(tree.folder, false);

        QVERIFY(run.clickTitle(0));
        QCOMPARE(run.selected(), 0);
        QCOMPARE(run.shownFile(), std::optional<std::string>(tree / "sub/about.htm"));
        // The browser reads the title's line break as a space; the catalogue joins the lines.
        QCOMPARE(run.pageTitle(), QStringLiteral("Ab out"));

        const std::vector<std::string> titles = run.titles();
        const auto zeta =
            static_cast<int>(std::find(titles.begin(), titles.end(), "Zeta") - titles.begin());
        QVERIFY(run.clickTitle(zeta));
        QCOMPARE(run.shownFile(), std::optional<std::string>(tree / "sub/deeper/zeta.htm"));
        QCOMPARE(run.pageTitle(), QStringLiteral("Zeta"));
        QVERIFY(run.errors().empty());
    }

    void closingDuringABuild_stopsIt_storesNothing_andEndsTheProgram() {
        SandboxDir dir;
        pelmaro::test::writeNumberedPages(dir, "big", 3000, "text");
        ProgramRun run;
        QVERIFY(run.start());
        // The user closes the window while the build runs.
        run.dialogs.folderAnswers = {dir / "big"};
        QTest::keyClick(run.form.get(), Qt::Key_F2);
        QVERIFY(run.form->reader().busy());
        run.form->close();

        QVERIFY(!run.form->reader().busy());
        QVERIFY2(run.caption().rfind("sorting", 0) != 0, run.caption().c_str());
        // The window closed once the build had stopped: that ends the program.
        QVERIFY(!run.form->isVisible());
        QVERIFY(run.dialogs.questions.empty());
        QVERIFY(!pelmaro::test::exists(dir / "big/pelmaropath.title"));
        QVERIFY(!pelmaro::test::exists(dir / "big/pelmaropath.path"));
        QCOMPARE(run.form->reader().currentCatalogue().bookmarkFile(), std::string());
        // Shutdown ran: it stored that no catalogue is current.
        QCOMPARE(pelmaro::test::storedSession(dir.settingsFile()).last, std::string());
        QVERIFY(run.errors().empty());
    }
};

PELMARO_APP_TEST_MAIN(WindowBuildTest)
#include "window_build_test.moc"
