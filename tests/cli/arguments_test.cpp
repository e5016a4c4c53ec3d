// The program's own arguments: help, version, and a usage line with status 2 for a wrong call.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

constexpr const char* kUsage =
    "usage: pelmaro-cli build [--quiet] [--ignore PATTERN]... FOLDER\n"
    "       pelmaro-cli index [--quiet] CATALOGUE.path\n"
    "       pelmaro-cli search [--raw | --scan] CATALOGUE.path TEXT\n"
    "       pelmaro-cli titles [--raw] CATALOGUE.path TEXT\n"
    "       pelmaro-cli --help | --version\n";

bool startsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

TEST(CliArguments, HelpVersionAndWrongCalls) {
    test::TempDir dir;
    const std::string help = std::string(
                                 "pelmaro-cli: Pelmaro's catalogue builder and searches on the "
                                 "command line.\n\n") +
                             kUsage;
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string outStart;  // what stdout starts with
        std::string err;       // all of stderr
    };
    const Case cases[] = {
        {{"--help"}, 0, help, ""},
        {{"-h"}, 0, help, ""},
        {{"--help", "build"}, 0, help, ""},
        {{"--version"}, 0, "pelmaro-cli " PELMARO_VERSION "\n", ""},
        {{}, 2, "", kUsage},
        {{"frobnicate"},
         2,
         "",
         std::string("pelmaro-cli: unknown command \"frobnicate\"\n") + kUsage},
        {{""}, 2, "", std::string("pelmaro-cli: unknown command \"\"\n") + kUsage},
        {{"--verbose"}, 2, "", std::string("pelmaro-cli: unknown option \"--verbose\"\n") + kUsage},
        {{"-V"}, 2, "", std::string("pelmaro-cli: unknown option \"-V\"\n") + kUsage},
        {{"build"}, 2, "", "usage: pelmaro-cli build [--quiet] [--ignore PATTERN]... FOLDER\n"},
        {{"search", "x.path"},
         2,
         "",
         "usage: pelmaro-cli search [--raw | --scan] CATALOGUE.path TEXT\n"},
        {{"titles"}, 2, "", "usage: pelmaro-cli titles [--raw] CATALOGUE.path TEXT\n"},
    };
    for (const Case& c : cases) {
        const std::string call = c.args.empty() ? "(none)" : c.args.front();
        const test::CliRun run = test::runCliIn(dir, "", c.args);
        EXPECT_EQ(run.status, c.status) << call;
        EXPECT_TRUE(startsWith(run.out, c.outStart)) << call << ":\n" << run.out;
        if (c.outStart.empty()) {
            EXPECT_EQ(run.out, "") << call;
        }
        EXPECT_EQ(run.err, c.err) << call;
    }
}

}  // namespace
}  // namespace pelmaro
