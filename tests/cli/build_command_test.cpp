#include <pwd.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "catalogue/catalogue_builder.h"
#include "platform/list_control.h"
#include "tests/cli/cli_runner.h"
#include "tests/support/fakes.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

// A small documentation tree: nested folders, markup and text pages, an image, a skipped type,
// titles that tie when upper-cased, UTF-8 and bytes that aren't.
void writeTree(const test::TempDir& dir, const std::string& root) {
    dir.write(root + "/index.html", "<html><head><TITLE>Contents</TITLE></head></html>");
    dir.write(root + "/intro.htm", "<title>Intro</title>");
    dir.write(root + "/INTRO2.HTM", "<title>INTRO</title>");
    dir.write(root + "/about.txt", "About\r\nthis tree\r\n");
    dir.write(root + "/logo.gif", "GIF89a");
    dir.write(root + "/style.css", "body {}");
    dir.write(root + "/Guide/one.html", "<title>\xc3\xa9t\xc3\xa9</title>");
    dir.write(root + "/Guide/two.html", "<title>\xc3\x89T\xc3\x89</title>");
    dir.write(root + "/Guide/three.html", "<title>caf\xe9</title>");
    dir.write(root + "/Guide/deeper/four.xml", "<title>Span\r\nning</title>");
}

// What the window stores for the same folder with the question answered Yes: the same build
// and save, called as the window calls them.
std::pair<std::string, std::string> windowFiles(const std::string& folder) {
    platform::PosixFileSystem files;
    const BuiltCatalogue built = buildCatalogue(files, folder, {});
    saveCatalogue(files, folder, built.titles, built.paths);
    return {test::readFile(folder + "/pelmaropath.title"),
            test::readFile(folder + "/pelmaropath.path")};
}

TEST(CliBuild, StoresTheSameFilesAsTheWindowAndPrintsTheCount) {
    test::TempDir dir;
    writeTree(dir, "tree");
    const auto [titles, paths] = windowFiles(dir / "tree");
    std::filesystem::remove(dir / "tree/pelmaropath.title");
    std::filesystem::remove(dir / "tree/pelmaropath.path");

    const test::CliRun run = test::runCliIn(dir, "", {"build", dir / "tree"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "9 entries\n");
    EXPECT_EQ(run.err, "");  // no progress bar when stderr is not a terminal
    EXPECT_EQ(test::readFile(dir / "tree/pelmaropath.title"), titles);
    EXPECT_EQ(test::readFile(dir / "tree/pelmaropath.path"), paths);
}

TEST(CliBuild, RelativeFolderIsTakenFromTheCurrentDirectory) {
    test::TempDir dir;
    writeTree(dir, "tree");
    const auto [titles, paths] = windowFiles(dir / "tree");
    for (const char* relative : {"tree", "./tree/", "tree/.", ".//tree"}) {
        std::filesystem::remove(dir / "tree/pelmaropath.path");
        const test::CliRun run = test::runCliIn(dir, dir.path(), {"build", relative});
        EXPECT_EQ(run.status, 0) << relative << ": " << run.err;
        EXPECT_EQ(test::readFile(dir / "tree/pelmaropath.path"), paths) << relative;
        EXPECT_EQ(test::readFile(dir / "tree/pelmaropath.title"), titles) << relative;
    }
    // "." is the current directory itself.
    std::filesystem::remove(dir / "tree/pelmaropath.path");
    EXPECT_EQ(test::runCliIn(dir, dir / "tree", {"build", "."}).status, 0);
    EXPECT_EQ(test::readFile(dir / "tree/pelmaropath.path"), paths);
}

TEST(CliBuild, OutputThatCantBeWrittenIsAFailure) {
    test::TempDir dir;
    writeTree(dir, "tree");
    test::ProcessOptions options;
    options.outFile = "/dev/full";
    options.errFile = dir / "cli.err";
    const test::ProcessRun run = test::runProcess({PELMARO_CLI, "build", dir / "tree"}, options);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(test::readFile(options.errFile),
              "pelmaro-cli: cannot write the output: No space left on device\n");
}

// Every way a build ends, with its status and the start of its stderr; only a success writes.
TEST(CliBuild, ExitStatusAndMessageForEachOutcome) {
    test::TempDir dir;
    dir.write("pages/a.htm", "<title>A</title>");
    dir.write("empty/nothing.htm", "");
    dir.write("styles/style.css", "body {}");
    dir.write("styles/sub/app.js", "run()");
    dir.write("blocked/a.htm", "<title>A</title>");
    dir.mkdir("blocked/pelmaropath.title");  // the title list can't replace a folder
    dir.write("closed/a.htm", "<title>A</title>");
    std::filesystem::permissions(dir / "closed", std::filesystem::perms::none);
    const bool root = ::geteuid() == 0;  // root lists a folder whatever its permissions

    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
        std::string out;
    };
    const std::string usage = "usage: pelmaro-cli build [--quiet] [--ignore PATTERN]... FOLDER\n";
    std::vector<Case> cases = {
        {{"build", dir / "pages"}, 0, "", "1 entries\n"},
        {{"build"}, 2, usage, ""},
        {{"build", "a", "b"}, 2, usage, ""},
        {{"build", "--quiet"}, 2, usage, ""},
        {{"build", "--loud", dir / "pages"},
         2,
         "pelmaro-cli: unknown option \"--loud\"\n" + usage,
         ""},
        {{"build", dir / "missing"},
         2,
         "pelmaro-cli: \"" + (dir / "missing") + "\" is not a folder\n",
         ""},
        {{"build", dir / "pages/a.htm"},
         2,
         "pelmaro-cli: \"" + (dir / "pages/a.htm") + "\" is not a folder\n",
         ""},
        {{"build", "--", "-q"},
         2,
         "pelmaro-cli: \"" + std::filesystem::current_path().string() + "/-q\" is not a folder\n",
         ""},
        {{"build", dir / "empty"}, 1, "pelmaro-cli: no pages under " + (dir / "empty") + "\n", ""},
        {{"build", dir / "styles"},
         1,
         "pelmaro-cli: no pages under " + (dir / "styles") + "\n",
         ""},
        {{"build", dir / "blocked"},
         2,
         "pelmaro-cli: Cannot create file \"" + (dir / "blocked/pelmaropath.title") + "\". ",
         ""},
    };
    if (!root) {
        cases.push_back(
            {{"build", dir / "closed"},
             2,
             "pelmaro-cli: Cannot open folder \"" + (dir / "closed") + "\". Permission denied\n",
             ""});
    }
    for (const auto& c : cases) {
        const std::string call = c.args.empty() ? "" : c.args.back();
        const test::CliRun run = test::runCliIn(dir, "", c.args);
        EXPECT_EQ(run.status, c.status) << call << ": " << run.err;
        EXPECT_EQ(run.err.rfind(c.message, 0), 0u) << call << ": " << run.err;
        EXPECT_EQ(c.message.empty(), run.err.empty()) << call << ": " << run.err;
        EXPECT_EQ(run.out, c.out) << call;
    }
    std::filesystem::permissions(dir / "closed", std::filesystem::perms::owner_all);
    for (const char* folder : {"empty", "styles", "blocked", "closed"}) {
        EXPECT_FALSE(std::filesystem::exists(dir / (std::string(folder) + "/pelmaropath.path")))
            << folder;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "styles/pelmaropath.title"));
}

// A build that finds nothing to catalogue leaves the catalogue stored before as it was.
TEST(CliBuild, NoPagesKeepsTheStoredCatalogue) {
    test::TempDir dir;
    dir.write("docs/pelmaropath.title", "Old\r\n");
    dir.write("docs/pelmaropath.path", "/gone.htm\r\n");
    dir.write("docs/style.css", "body {}");
    const test::CliRun run = test::runCliIn(dir, "", {"build", dir / "docs"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(test::readFile(dir / "docs/pelmaropath.title"), "Old\r\n");
    EXPECT_EQ(test::readFile(dir / "docs/pelmaropath.path"), "/gone.htm\r\n");
}

// The progress is drawn only on a terminal, and --quiet (or -q) silences it there too; the
// result on stdout is the same either way.
TEST(CliBuild, ProgressIsDrawnOnATerminalUnlessQuiet) {
    test::TempDir dir;
    writeTree(dir, "tree");
    const test::CliRun drawn =
        test::runCliIn(dir, "", {"build", dir / "tree"}, test::ErrorOutput::Terminal);
    EXPECT_EQ(drawn.status, 0) << drawn.err;
    EXPECT_EQ(drawn.out, "9 entries\n");
    EXPECT_NE(drawn.err.find("\r\033[Kscanning..."), std::string::npos) << drawn.err;
    // The bar counts the ten scanned files (the style sheet among them); nine are catalogued.
    EXPECT_NE(drawn.err.find("] 10/10 files"), std::string::npos) << drawn.err;
    // The bar is cleared at the end, so that the shell's prompt starts on a clean line.
    EXPECT_EQ(drawn.err.substr(drawn.err.size() - 4), "\r\033[K") << drawn.err;

    for (const char* quiet : {"--quiet", "-q"}) {
        const test::CliRun silent =
            test::runCliIn(dir, "", {"build", quiet, dir / "tree"}, test::ErrorOutput::Terminal);
        EXPECT_EQ(silent.status, 0) << quiet << ": " << silent.err;
        EXPECT_EQ(silent.out, "9 entries\n") << quiet;
        EXPECT_EQ(silent.err, "") << quiet;
    }
    // Errors still reach the terminal.
    const test::CliRun failed =
        test::runCliIn(dir, "", {"build", "-q", dir / "none"}, test::ErrorOutput::Terminal);
    EXPECT_EQ(failed.status, 2);
    EXPECT_EQ(failed.err, "pelmaro-cli: \"" + (dir / "none") + "\" is not a folder\r\n");
}

TEST(CliBuild, UnprivilegedUserKeepsTheCatalogueOfAFolderItCantWriteInItsDataFolder) {
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || nobody == nullptr || !std::filesystem::exists("/usr/sbin/runuser")) {
        GTEST_SKIP() << "needs root, runuser and the user nobody, to build as nobody";
    }
    test::TempDir dir;
    // nobody may enter the test's folder and read the tree, but write only in its home.
    std::filesystem::permissions(dir.path(), std::filesystem::perms(0755));
    writeTree(dir, "tree");
    const std::string home = dir.mkdir("home");
    const std::string data = dir.mkdir("home/data");
    for (const std::string& own : {home, data}) {
        ASSERT_EQ(::chown(own.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    const std::string readOnlyData = dir.mkdir("rodata");
    const auto buildAsNobody = [&](const std::string& dataHome) {
        test::ProcessOptions options;
        options.outFile = dir / "cli.out";
        options.errFile = dir / "cli.err";
        const test::ProcessRun process = test::runProcess(
            {"/usr/sbin/runuser", "-u", "nobody", "--", "/usr/bin/env", "HOME=" + home,
             "XDG_DATA_HOME=" + dataHome, PELMARO_CLI, "build", dir / "tree"},
            options);
        return test::CliRun{process.status, test::readFile(options.outFile),
                            test::readFile(options.errFile)};
    };

    std::string kept = data + "/pelmaro/";
    for (const char c : std::filesystem::canonical(dir / "tree").string()) {
        kept += c == '/' ? std::string("%2F") : std::string(1, c);
    }
    const test::CliRun run = buildAsNobody(data);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "9 entries\nThe folder can't be written; the catalogue is kept in "
              "\xe2\x80\x9c" +
                  kept + "/pelmaropath.path\xe2\x80\x9d\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(test::readFile(kept + "/pelmaropath.path"),
              windowFiles(dir / "tree").second);  // the same bytes as the folder's own would be

    std::filesystem::remove(dir / "tree/pelmaropath.title");
    std::filesystem::remove(dir / "tree/pelmaropath.path");
    const test::CliRun refused = buildAsNobody(readOnlyData);
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "pelmaro-cli: Cannot create file \"" + (dir / "tree") +
                               "/pelmaropath.title\". Permission denied\n");
    EXPECT_TRUE(std::filesystem::is_empty(readOnlyData));
}

}  // namespace
}  // namespace pelmaro

namespace pelmaro {
namespace {

// The folder's ignore file, the one beside a catalogue kept in the data folder, and --ignore all
// leave names out; without them the catalogue is what it always was.
TEST(CliBuild, IgnoreFilesAndPatternsLeavePartsOut) {
    test::TempDir dir;
    writeTree(dir, "tree");
    dir.write("tree/_sources/a.txt", "*****\r\n");
    dir.write("tree/_sources/deep/b.txt", ".. highlight:: c\r\n");
    const std::string withSources = test::runCliIn(dir, "", {"build", dir / "tree"}).out;
    EXPECT_EQ(withSources, "11 entries\n");
    const std::string paths = test::readFile(dir / "tree/pelmaropath.path");

    dir.write("tree/.pelmaroignore", "# the pages' sources\n_sources/\n");
    test::CliRun run = test::runCliIn(dir, "", {"build", dir / "tree"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "9 entries\n");
    EXPECT_EQ(test::readFile(dir / "tree/pelmaropath.path").find("_sources"), std::string::npos);

    run = test::runCliIn(dir, "", {"build", "--ignore", "Guide/", "--ignore=*.xml", dir / "tree"});
    EXPECT_EQ(run.out, "5 entries\n") << run.err;
    // "*" leaves the folders out too, with what they hold; "!" takes back only what it matches.
    run = test::runCliIn(dir, "", {"build", "--ignore", "*", "--ignore", "!*.htm", dir / "tree"});
    EXPECT_EQ(run.out, "1 entries\n") << run.err;
    EXPECT_EQ(test::readFile(dir / "tree/pelmaropath.path"), dir / "tree/intro.htm\r\n");
    EXPECT_EQ(test::runCliIn(dir, "", {"build", dir / "tree", "--ignore"}).status, 2);

    std::filesystem::remove(dir / "tree/.pelmaroignore");
    EXPECT_EQ(test::runCliIn(dir, "", {"build", dir / "tree"}).out, withSources);
    EXPECT_EQ(test::readFile(dir / "tree/pelmaropath.path"), paths);
}

}  // namespace
}  // namespace pelmaro
