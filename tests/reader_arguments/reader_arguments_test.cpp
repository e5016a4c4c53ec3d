#include "app/reader_arguments.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace pelmaro::app {
namespace {

using Action = ReaderArguments::Action;

// The names the table's calls find, as they would be on disk, taken from "/home/me".
NameKind fakeKind(const std::string& name) {
    static const std::map<std::string, NameKind> names = {
        {"/home/me/docs", NameKind::Folder}, {"/home/me/docs/pelmaropath.path", NameKind::File},
        {"/home/me/-odd", NameKind::Folder}, {"/srv/help", NameKind::Folder},
        {"/home/me/pipe", NameKind::Other},  {"/home/me", NameKind::Folder},
    };
    const auto found = names.find(name);
    return found == names.end() ? NameKind::Missing : found->second;
}

ReaderArguments parse(std::vector<const char*> args) {
    args.insert(args.begin(), "pelmaro");
    return parseReaderArguments(static_cast<int>(args.size()), args.data(), "/home/me", fakeKind);
}

TEST(ReaderArguments, Table) {
    struct Row {
        std::vector<const char*> args;
        Action action;
        std::string name;     // for a folder or catalogue
        std::string message;  // for a usage error
    };
    const Row rows[] = {
        {{}, Action::Start, "", ""},
        {{"docs"}, Action::BuildFolder, "/home/me/docs", ""},
        {{"./docs/"}, Action::BuildFolder, "/home/me/docs", ""},
        {{"."}, Action::BuildFolder, "/home/me", ""},
        {{"/srv/help"}, Action::BuildFolder, "/srv/help", ""},
        {{"docs/pelmaropath.path"}, Action::OpenCatalogue, "/home/me/docs/pelmaropath.path", ""},
        {{"--help"}, Action::Help, "", ""},
        {{"-h"}, Action::Help, "", ""},
        {{"docs", "--help"}, Action::Help, "", ""},
        {{"--version"}, Action::Version, "", ""},
        {{"--version", "--help"}, Action::Version, "", ""},
        // "--" ends the options: a folder whose name starts with "-".
        {{"--", "-odd"}, Action::BuildFolder, "/home/me/-odd", ""},
        {{"--", "--help"},
         Action::UsageError,
         "",
         "\"/home/me/--help\" is neither a folder nor a file"},
        // Qt's options pass, with their values.
        {{"-platform", "offscreen", "docs"}, Action::BuildFolder, "/home/me/docs", ""},
        {{"--style", "fusion", "-reverse", "docs"}, Action::BuildFolder, "/home/me/docs", ""},
        {{"-style=fusion", "-qwindowgeometry", "800x600"}, Action::Start, "", ""},
        {{"-platform"}, Action::UsageError, "", "option \"-platform\" needs a value"},
        // Wrong calls.
        {{"--verbose"}, Action::UsageError, "", "unknown option \"--verbose\""},
        {{"-v"}, Action::UsageError, "", "unknown option \"-v\""},
        {{"--help=all"}, Action::UsageError, "", "unknown option \"--help=all\""},
        {{"docs", "/srv/help"}, Action::UsageError, "", "one FOLDER or CATALOGUE.path at most"},
        {{"missing"},
         Action::UsageError,
         "",
         "\"/home/me/missing\" is neither a folder nor a file"},
        {{""}, Action::UsageError, "", "\"\" is neither a folder nor a file"},
        {{"pipe"},
         Action::UsageError,
         "",
         "\"/home/me/pipe\" is neither a folder nor a regular file"},
        // "-" alone is a name, as it is for most programs.
        {{"-"}, Action::UsageError, "", "\"/home/me/-\" is neither a folder nor a file"},
    };
    for (const Row& row : rows) {
        std::string call;
        for (const char* arg : row.args) {
            call += std::string(" ") + arg;
        }
        const ReaderArguments got = parse(row.args);
        EXPECT_EQ(static_cast<int>(got.action), static_cast<int>(row.action)) << call;
        EXPECT_EQ(got.name, row.name) << call;
        EXPECT_EQ(got.message, row.message) << call;
    }
}

TEST(ReaderArguments, KindsOnDisk) {
    test::TempDir dir;
    dir.write("tree/pelmaropath.path", "");
    EXPECT_EQ(nameKindOnDisk(dir / "tree"), NameKind::Folder);
    EXPECT_EQ(nameKindOnDisk(dir / "tree/pelmaropath.path"), NameKind::File);
    EXPECT_EQ(nameKindOnDisk(dir / "none"), NameKind::Missing);
    EXPECT_EQ(nameKindOnDisk("/dev/null"), NameKind::Other);
}

TEST(ReaderArguments, TextsNameTheProgramAndItsVersion) {
    EXPECT_STREQ(readerUsage(), "usage: pelmaro [FOLDER | CATALOGUE.path]\n");
    EXPECT_STREQ(readerVersion(), "pelmaro " PELMARO_VERSION "\n");
    EXPECT_NE(std::string(readerHelp()).find(readerUsage()), std::string::npos);
}

}  // namespace
}  // namespace pelmaro::app
