#include "catalogue/catalogue_builder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <thread>

#include "catalogue/catalogue_files.h"
#include "platform/error.h"
#include "platform/line_list.h"
#include "tests/support/checks.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

using Names = std::vector<std::string>;

using Names = std::vector<std::string>;

BuiltCatalogue build(platform::FileSystem& files, const std::string& folder,
                     std::stop_token stop = {}, const BuildProgress& progress = {}) {
    return buildCatalogue(files, folder, stop, progress);
}

TEST(BuildCatalogue, KeepsAcceptedTypesTitledAndOrderedWithTheirPaths) {
    test::TempDir dir;
    dir.write("b.txt", "b\r\n");
    dir.write("A.txt", "A\r\n");
    dir.write("Sub/c.htm", "<html><title>c</title>");
    dir.write("d.css", "body {}");
    dir.write("e.gif", "GIF89a");
    dir.write("pelmaropath.title", "old\r\n");  // earlier catalogue files are not catalogued
    platform::PosixFileSystem files;
    const BuiltCatalogue built = build(files, dir.path());
    EXPECT_EQ(built.result, BuildResult::Built);
    EXPECT_EQ(built.titles, (Names{"A", "b", "c", "e"}));
    EXPECT_EQ(built.paths, (Names{dir / "A.txt", dir / "b.txt", dir / "Sub/c.htm", dir / "e.gif"}));
}

TEST(BuildCatalogue, TreeWithoutNonEmptyFilesBuildsNothing) {
    test::TempDir dir;
    dir.write("empty.htm", "");
    dir.write("sub/deeper/empty.txt", "");
    platform::PosixFileSystem files;
    EXPECT_EQ(build(files, dir.path()).result, BuildResult::NoFiles);
    dir.write("style.css", "x");  // a file, but none of a catalogued type
    const BuiltCatalogue built = build(files, dir.path());
    EXPECT_EQ(built.result, BuildResult::Built);
    EXPECT_TRUE(built.titles.empty());
}

TEST(BuildCatalogue, UnreadablePageKeepsItsDefaultTitleAndTheListsStayParallel) {
    test::TempDir dir;
    dir.write("a.htm", "<title>Alpha</title>");
    const std::string gone = dir.write("gone.page.htm", "<title>Gone</title>");
    const std::string locked = dir.write("locked.txt", "Locked");
    test::FakeFileSystem files;
    files.threaded = false;
    files.beforeOpen = [&](const std::string& name) {
        if (name == gone) {
            std::filesystem::remove(gone);  // removed between the scan and its title
        }
        if (name == locked) {
            files.locked.insert(locked);
        }
    };
    const BuiltCatalogue built = build(files, dir.path());
    EXPECT_EQ(built.titles, (Names{"Alpha", "gone", "locked"}));
    EXPECT_EQ(built.paths, (Names{dir / "a.htm", gone, locked}));
}

TEST(BuildCatalogue, ProgressCountsNamesInStepsUpToTheLast) {
    test::TempDir dir;
    for (int i = 0; i < 600; ++i) {
        dir.write("p" + std::to_string(i) + (i % 3 == 0 ? ".css" : ".htm"), "<title>t</title>");
    }
    test::FakeFileSystem files;
    files.threaded = false;
    std::vector<std::size_t> steps;
    std::size_t folders = 0;
    build(files, dir.path(), {},
          {[&](std::size_t) { ++folders; },
           [&](std::size_t done, std::size_t total) {
               EXPECT_EQ(total, 600u);
               steps.push_back(done);
           }});
    EXPECT_EQ(folders, 1u);
    EXPECT_EQ(steps, (std::vector<std::size_t>{0, 256, 512, 599, 600}));
}

TEST(SaveCatalogue, WritesBothFilesOrReportsTheOneThatFailed) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    EXPECT_EQ(saveCatalogue(files, dir.path() + "/", {"A"}, {"/a.htm"}).bookmarkFile,
              dir / "pelmaropath.bookmark");
    EXPECT_EQ(test::readFile(dir / "pelmaropath.title"), "A\r\n");
    EXPECT_EQ(test::readFile(dir / "pelmaropath.path"), "/a.htm\r\n");

    test::FakeFileSystem failing;
    failing.failingWrites.insert(dir / "pelmaropath.path");
    EXPECT_EQ(test::errorOf([&] { saveCatalogue(failing, dir.path(), {"B"}, {"/b.htm"}); }),
              "Cannot create file \"" + (dir / "pelmaropath.path") + "\". No space left on device");
}

TEST(SaveCatalogue, FolderThatCantBeWrittenIsKeptInTheDataFolderOrReportedAsBefore) {
    test::TempDir dir;
    const std::string tree = dir.mkdir("tree");
    const std::string data = dir / "data";
    const std::string kept = keptCatalogueFolder(data, tree);
    test::FakeFileSystem files;
    files.readOnlyFolders.insert(tree);
    const SavedCatalogue saved = saveCatalogue(files, tree, {"A"}, {tree + "/a.htm"}, data);
    EXPECT_TRUE(saved.keptElsewhere);
    EXPECT_EQ(saved.bookmarkFile, kept + "/pelmaropath.bookmark");
    EXPECT_EQ(test::readFile(kept + "/pelmaropath.title"), "A\r\n");
    EXPECT_EQ(test::readFile(kept + "/pelmaropath.path"), tree + "/a.htm\r\n");
    EXPECT_EQ(scannedFolderOf(files, kept + "/pelmaropath.path"), tree);
    EXPECT_TRUE(std::filesystem::is_empty(tree));

    const std::string refused =
        "Cannot create file \"" + tree + "/pelmaropath.title\". Permission denied";
    // Nowhere to keep it (no data folder known, or one that can't be written either): the
    // folder's own failure, as it always was.
    EXPECT_EQ(test::errorOf([&] { saveCatalogue(files, tree, {"A"}, {"/a.htm"}); }), refused);
    files.readOnlyFolders.insert(kept);
    EXPECT_EQ(test::errorOf([&] { saveCatalogue(files, tree, {"A"}, {"/a.htm"}, data); }), refused);
    // A full disk is no reason to store elsewhere.
    files.readOnlyFolders.clear();
    files.failingWrites.insert(tree + "/pelmaropath.title");
    EXPECT_EQ(test::errorOf([&] { saveCatalogue(files, tree, {"A"}, {"/a.htm"}, data); }),
              "Cannot create file \"" + tree + "/pelmaropath.title\". No space left on device");
}

// A tree big enough for worker threads: pages with titles (many equal, in mixed case), text
// notes, pages without a title, images and skipped types, in nested folders.
std::vector<std::string> writeManyPages(const test::TempDir& dir, int pages) {
    std::vector<std::string> names;
    for (int i = 0; i < pages; ++i) {
        const std::string folder = "part" + std::to_string(i % 7) + "/ch" + std::to_string(i % 13);
        const std::string stem = folder + "/p" + std::to_string(i);
        switch (i % 6) {
            case 0:
                names.push_back(dir.write(stem + ".txt", "Note " + std::to_string(i % 50)));
                break;
            case 1:
                names.push_back(dir.write(stem + ".gif", "GIF89a"));
                break;
            case 2:
                names.push_back(dir.write(stem + ".css", "body {}"));
                break;
            case 3:
                names.push_back(dir.write(stem + ".htm", "<p>no title</p>"));
                break;
            default:
                names.push_back(
                    dir.write(stem + ".html", std::string(i % 2 ? "<TITLE>" : "<title>") +
                                                  (i % 3 ? "Intro" : "INTRO ") +
                                                  std::to_string(i % 40) + "</title>"));
        }
    }
    return names;
}

// One tree for all cases: writing files is slow on some machines.
class BuildOnWorkers : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new test::TempDir;
        names_ = writeManyPages(*dir_, 1200);
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static test::TempDir* dir_;
    static std::vector<std::string> names_;
};
test::TempDir* BuildOnWorkers::dir_ = nullptr;
std::vector<std::string> BuildOnWorkers::names_;

TEST_F(BuildOnWorkers, GiveTheSameCatalogueAsOneThread) {
    test::FakeFileSystem one;
    one.threaded = false;
    test::FakeFileSystem many;
    // Pages that can't be read keep their default titles on either path.
    for (const std::size_t i : {4u, 5u, 1000u, 1199u}) {
        one.locked.insert(names_[i]);
        many.locked.insert(names_[i]);
    }
    const BuiltCatalogue expected = build(one, dir_->path());
    const BuiltCatalogue got = build(many, dir_->path());
    ASSERT_EQ(expected.result, BuildResult::Built);
    EXPECT_EQ(expected.paths.size(), 1000u);  // all but the ".css" files
    EXPECT_EQ(got.result, expected.result);
    EXPECT_EQ(got.titles, expected.titles);
    EXPECT_EQ(got.paths, expected.paths);
    EXPECT_NE(std::find(got.titles.begin(), got.titles.end(), "p1000"), got.titles.end());
}

TEST_F(BuildOnWorkers, StopWhenAsked) {
    // Asked while the scan goes on, or once titling has begun.
    for (const bool duringTheScan : {true, false}) {
        test::FakeFileSystem slow;
        slow.openDelay = std::chrono::milliseconds(5);
        std::stop_source stop;
        const BuiltCatalogue stopped = build(slow, dir_->path(), stop.get_token(),
                                             {[&](std::size_t folders) {
                                                  if (duringTheScan && folders == 3) {
                                                      stop.request_stop();
                                                  }
                                              },
                                              [&](std::size_t, std::size_t) {
                                                  if (slow.opened > 0) {
                                                      stop.request_stop();
                                                  }
                                              }});
        EXPECT_EQ(stopped.result, BuildResult::Stopped) << duringTheScan;
        EXPECT_TRUE(stopped.titles.empty()) << duringTheScan;
        // 1000 pages, 5 ms each: the workers stop long before the end.
        EXPECT_LT(slow.opened.load(), 500) << duringTheScan;
    }
}

TEST_F(BuildOnWorkers, PassOnAnUnexpectedFailureAfterTheOthersStop) {
    test::FakeFileSystem crashing;
    crashing.crashing.insert(names_[1001]);
    EXPECT_THROW(build(crashing, dir_->path()), std::logic_error);
}

}  // namespace
}  // namespace pelmaro
