#include "search/full_text_search.h"

#include <gtest/gtest.h>

#include <stop_token>

#include "platform/error.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

using Indexes = std::vector<std::size_t>;

TEST(FileContainsText, answersByThePageTextOfTheFile) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    struct Case {
        std::string bytes;
        std::string text;
        bool found;
    };
    const Case cases[] = {
        {"<h1>SETUP</h1>", "Setup", true},
        {"install: set\r\nup", "Setup", true},
        {"setup\0", "", false},
        {std::string("x\0setup", 7), "setup", false},
        {"{\\rtf1 \\b SETUP\\b0}", "setup", true},
        {"{\\rtf1 \\b SETUP\\b0}", "rtf1", false},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = dir.write("page" + std::to_string(n++) + ".htm", c.bytes);
        EXPECT_EQ(fileContainsText(files, name, c.text), c.found) << c.text << " in " << c.bytes;
    }
    EXPECT_THROW(fileContainsText(files, dir / "gone.htm", "setup"), Error);
}

TEST(SearchFiles, tellsHitsInOrderAndSkipsWhatCantBeRead) {
    test::TempDir dir;
    test::FakeFileSystem files;
    const std::vector<std::string> paths = {
        dir.write("upper.htm", "<p>SETUP</p>"), dir.write("other.htm", "<p>nothing here</p>"),
        dir.write("broken.htm", "setup"),       dir / "gone.htm",
        dir.write("split.txt", "set\r\nup"),
    };
    files.failingReads.insert(paths[2]);
    // A line break is white space to a reader, and nothing to the stored-bytes rule.
    for (const auto& [rule, hits] : {std::pair{TextRule::Shown, Indexes{0}},
                                     std::pair{TextRule::StoredBytes, Indexes{0, 4}}}) {
        Indexes read;
        Indexes found;
        Indexes skipped;
        EXPECT_TRUE(searchFiles(
            files, paths, "Setup", {},
            {.reading = [&](std::size_t n) { read.push_back(n); },
             .found = [&](std::size_t n) { found.push_back(n); },
             .skipped = [&](std::size_t n, const std::string&) { skipped.push_back(n); }},
            rule));
        EXPECT_EQ(read, (Indexes{0, 1, 2, 3, 4}));
        EXPECT_EQ(found, hits);
        EXPECT_EQ(skipped, (Indexes{2, 3}));
    }
}

TEST(SearchFiles, stopBeforeTheNthFileKeepsOnlyTheHitsBeforeIt) {
    test::TempDir dir;
    test::FakeFileSystem files;
    std::vector<std::string> paths;
    for (int i = 0; i < 20; ++i) {
        paths.push_back(dir.write("p" + std::to_string(i) + ".htm", i % 2 ? "hit" : "miss"));
    }
    std::stop_source stop;
    Indexes found;
    EXPECT_FALSE(searchFiles(files, paths, "hit", stop.get_token(),
                             {.reading =
                                  [&](std::size_t n) {
                                      if (n == 10) {
                                          stop.request_stop();
                                      }
                                  },
                              .found = [&](std::size_t n) { found.push_back(n); },
                              .skipped = {}}));
    EXPECT_EQ(found, (Indexes{1, 3, 5, 7, 9}));
    EXPECT_EQ(files.opened.load(), 10);
}

}  // namespace
}  // namespace pelmaro
