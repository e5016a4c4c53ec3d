#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_system.h"
#include "platform/line_list.h"
#include "tests/cli/cli_runner.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

// Starts "pelmaro-cli index --quiet CATALOGUE", its output thrown away, without waiting for it;
// 0 when it can't be started.
pid_t startIndex(const std::string& catalogue) {
    const std::string cli = PELMARO_CLI;
    const std::vector<std::string> args = {cli, "index", "--quiet", catalogue};
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    ::posix_spawn_file_actions_init(&quiet);
    ::posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (::posix_spawn(&pid, cli.c_str(), &quiet, nullptr, argv.data(), environ) != 0) {
        pid = 0;
    }
    ::posix_spawn_file_actions_destroy(&quiet);
    return pid;
}

class CliIndex : public ::testing::Test {
protected:
    void SetUp() override {
        const std::vector<std::string> paths = {
            dir.write("a.htm", "<title>Streams</title><code>operator&lt;&lt;</code>"),
            dir.write("b.txt", "CHAPTER\n9 of the guide"),
            dir.write("c.htm", "<title>Caf&eacute;</title><p>chapter&nbsp;9"),
        };
        platform::PosixFileSystem files;
        files.writeFile(pathFile, formatLineList(paths));
        files.writeFile(dir / "pelmaropath.title", formatLineList({"Streams", "b", "Café"}));
    }

    std::string indexFile() const {
        for (const auto& entry : std::filesystem::directory_iterator(dir / "cache/pelmaro")) {
            return entry.path().string();
        }
        return {};
    }

    test::TempDir dir;
    const std::string pathFile = dir / "pelmaropath.path";
    test::ScopedEnv cache{"XDG_CACHE_HOME", dir / "cache"};
};

TEST_F(CliIndex, searchAnswersAsTheScanWithAnIndexFreshOrDamaged) {
    const test::CliRun built = test::runCliIn(dir, "", {"index", "--quiet", pathFile});
    EXPECT_EQ(built.status, 0) << built.err;
    EXPECT_EQ(built.out, "3 pages indexed\n");
    ASSERT_FALSE(indexFile().empty());
    const std::vector<std::string> texts = {"chapter 9", "operator<<", "CAFÉ", "zz", "absent"};
    for (const bool damaged : {false, true}) {
        if (damaged) {
            dir.write(indexFile().substr(dir.path().size() + 1), "PELMTRI\ntorn");
        }
        for (const std::string& text : texts) {
            const test::CliRun indexed = test::runCliIn(dir, "", {"search", pathFile, text});
            const test::CliRun scanned =
                test::runCliIn(dir, "", {"search", "--scan", pathFile, text});
            EXPECT_EQ(indexed.status, scanned.status) << text;
            EXPECT_EQ(indexed.out, scanned.out) << text;
        }
    }
    EXPECT_EQ(test::runCliIn(dir, "", {"search", pathFile, "chapter 9"}).out, "b|1\nCafé|2\n");
    // --raw keeps its own rule, and --scan goes with it.
    EXPECT_EQ(test::runCliIn(dir, "", {"search", "--raw", "--scan", pathFile, "&lt;"}).out,
              "Streams|0\n");
}

// A writer killed at any moment leaves the index it replaced, or none: never one that a search
// would trust wrongly. The next index removes what the killed one left behind.
TEST_F(CliIndex, aKilledIndexerLeavesSearchesExact) {
    std::vector<std::string> paths;
    for (int i = 0; i < 3000; ++i) {
        paths.push_back(dir.write(
            "many/p" + std::to_string(i) + ".htm",
            "<p>page " + std::to_string(i) + (i % 97 == 0 ? " rare" : "") + std::string(600, 'x')));
    }
    const std::string many = dir / "many.path";
    platform::PosixFileSystem files;
    files.writeFile(many, formatLineList(paths));
    files.writeFile(dir / "many.title", formatLineList(std::vector<std::string>(3000, "t")));
    const std::string expected = test::runCliIn(dir, "", {"search", "--scan", many, "rare"}).out;
    ASSERT_EQ(std::count(expected.begin(), expected.end(), '\n'), 31);

    // Kills at a few moments of the run: reading pages, writing, renaming or done.
    for (const int afterMs : {5, 20, 50, 100}) {
        const pid_t pid = startIndex(many);
        ASSERT_NE(pid, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(afterMs));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_EQ(test::runCliIn(dir, "", {"search", many, "rare"}).out, expected) << afterMs;
    }
    ASSERT_EQ(test::runCliIn(dir, "", {"index", "--quiet", many}).status, 0);
    EXPECT_EQ(test::runCliIn(dir, "", {"search", many, "rare"}).out, expected);
    int indexFiles = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "cache/pelmaro")) {
        indexFiles += entry.path().extension() == ".trigrams" ? 1 : 0;
        EXPECT_EQ(entry.path().extension(), ".trigrams") << entry.path();  // nothing half-written
    }
    EXPECT_EQ(indexFiles, 1);
}

// While another program writes the cache, index says so and waits: an interrupt ends the wait,
// and the other's end lets it build.
TEST_F(CliIndex, waitsItsTurnWhileAnotherWritesTheCache) {
    platform::PosixFileSystem files;
    files.makeFolders(dir / "cache/pelmaro");
    std::unique_ptr<platform::FolderLock> other = files.lockFolder(dir / "cache/pelmaro");

    const pid_t pid = startIndex(pathFile);
    ASSERT_NE(pid, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(pid, SIGINT);
    int status = 0;
    for (int i = 0; i < 500 && ::waitpid(pid, &status, WNOHANG) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (::waitpid(pid, nullptr, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);  // still waiting: the interrupt was not heard
        ::waitpid(pid, &status, 0);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;

    auto waiting = std::async(std::launch::async, [&] {
        return test::runCliIn(dir, "", {"index", pathFile});
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    other.reset();
    const test::CliRun built = waiting.get();
    EXPECT_EQ(built.status, 0) << built.err;
    EXPECT_EQ(built.err,
              "pelmaro-cli: waiting for another window or pelmaro-cli to end its indexing\n");
    EXPECT_EQ(built.out, "3 pages indexed\n");
}

TEST_F(CliIndex, wrongCallsAndMissingCataloguesFail) {
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const Case cases[] = {
        {{"index"}, "usage: pelmaro-cli index [--quiet] CATALOGUE.path\n"},
        {{"index", pathFile, pathFile}, "usage: pelmaro-cli index [--quiet] CATALOGUE.path\n"},
        {{"index", "--fast", pathFile}, "pelmaro-cli: unknown option \"--fast\"\n"},
        {{"index", dir / "none.path"},
         "pelmaro-cli: Cannot open file \"" + dir / "none.path" +
             "\". No such file or directory\n"},
        {{"titles", "--scan", pathFile, "x"},
         "usage: pelmaro-cli titles [--raw] CATALOGUE.path TEXT\n"},
    };
    for (const Case& c : cases) {
        const test::CliRun run = test::runCliIn(dir, "", c.args);
        EXPECT_EQ(run.status, 2) << c.args.back();
        EXPECT_TRUE(run.err.starts_with(c.err)) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

}  // namespace
}  // namespace pelmaro
