#include "catalogue/catalogue_builder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <thread>

#include "catalogue/line_list.h"
#include "platform/error.h"
#include "tests/catalogue/files_double.h"
#include "tests/support/fakes.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

using Names = std::vector<std::string>;

const char* const kQuestion =
    "Information: save the result ?that last time can open it or load it auto";

// A Path command wired to scripted dialogs, a fake window and in-memory lists.
struct PathCommand {
    platform::MemoryList titles;
    platform::MemoryList paths;
    CurrentCatalogue current;
    int switches = 0;
    test::FakeWindow window;
    test::ScriptedDialogs dialogs;
    test::FilesDouble files;
    platform::LongCommandGate gate;
    CatalogueBuilder builder{Catalogue{titles, paths}, current, window, dialogs, files, gate};

    PathCommand() {
        current.BookmarkFileName = "/old/pelmaropath.bookmark";
        current.switched = [this] { ++switches; };
    }

    void run(const std::string& folder, std::optional<bool> save) {
        dialogs.folderAnswers.push_back(folder);
        if (save) {
            dialogs.yesNoAnswers.push_back(*save);
        }
        builder.Path1Click();
    }
};

bool exists(const std::string& name) {
    return std::filesystem::exists(name);
}

TEST(PathCommand, BuildsOrdersAndSavesWhenTheUserSaysYes) {
    test::TempDir dir;
    dir.write("b.txt", "b\r\n");
    dir.write("A.txt", "A\r\n");
    dir.write("Sub/c.htm", "<html><title>c</title>");
    PathCommand path;
    path.run(dir.path(), true);

    EXPECT_EQ(path.dialogs.folderPrompts, Names{"please select a path for scan"});
    EXPECT_EQ(path.dialogs.questions, Names{kQuestion});
    EXPECT_EQ(path.titles.items(), (Names{"A", "b", "c"}));
    EXPECT_EQ(path.paths.items(), (Names{dir / "A.txt", dir / "b.txt", dir / "Sub/c.htm"}));
    EXPECT_EQ(path.window.captions.front(), "please wait...");
    EXPECT_EQ(path.window.caption(), "sorting...3 total is 3");
    EXPECT_EQ(test::readFile(dir / "pelmaropath.title"), "A\r\nb\r\nc\r\n");
    EXPECT_EQ(test::readFile(dir / "pelmaropath.path"), formatLineList(path.paths.items()));
    EXPECT_EQ(path.current.BookmarkFileName, dir / "pelmaropath.bookmark");
    EXPECT_EQ(path.switches, 1);
    EXPECT_FALSE(path.gate.busy());

    // A folder given with its "/" gets no second one; the catalogue files are not catalogued.
    path.run(dir.path() + "/", true);
    EXPECT_EQ(path.titles.count(), 3);
    EXPECT_EQ(path.current.BookmarkFileName, dir / "pelmaropath.bookmark");
}

TEST(PathCommand, NoStoresNothingAndKeepsTheCurrentCatalogue) {
    test::TempDir dir;
    dir.write("a.htm", "<title>A</title>");
    PathCommand path;
    path.run(dir.path(), false);
    EXPECT_EQ(path.titles.items(), Names{"A"});
    EXPECT_FALSE(exists(dir / "pelmaropath.title"));
    EXPECT_FALSE(exists(dir / "pelmaropath.path"));
    EXPECT_EQ(path.current.BookmarkFileName, "/old/pelmaropath.bookmark");
    EXPECT_FALSE(path.current.shownIsStored);
    EXPECT_EQ(path.switches, 0);

    path.run(dir.path(), true);
    EXPECT_TRUE(path.current.shownIsStored);
}

TEST(PathCommand, CancelledPickerChangesNothing) {
    PathCommand path;
    path.titles.assign({"kept"});
    path.run("", std::nullopt);
    EXPECT_EQ(path.titles.items(), Names{"kept"});
    EXPECT_TRUE(path.window.captions.empty());
}

TEST(PathCommand, TreeWithoutNonEmptyFilesSaysNoFilesAndKeepsTheCatalogue) {
    test::TempDir dir;
    dir.write("empty.htm", "");
    dir.write("sub/deeper/empty.txt", "");
    PathCommand path;
    path.titles.assign({"kept title"});
    path.paths.assign({"/kept/path.htm"});
    path.run(dir.path(), std::nullopt);
    EXPECT_EQ(path.window.caption(), "no files");
    EXPECT_EQ(path.titles.items(), Names{"kept title"});
    EXPECT_EQ(path.paths.items(), Names{"/kept/path.htm"});
    EXPECT_TRUE(path.current.shownIsStored);
    EXPECT_TRUE(path.builder.ScannedFiles().empty());
}

TEST(PathCommand, KeepsOnlyAcceptedTypesAndImagesGetTheirNames) {
    test::TempDir dir;
    dir.write("a.htm", "<title>Alpha</title>");
    dir.write("b.css", "body {}");
    dir.write("c.gif", "GIF89a");
    PathCommand path;
    path.run(dir.path(), false);
    EXPECT_EQ(path.titles.items(), (Names{"Alpha", "c"}));
    EXPECT_EQ(path.paths.items(), (Names{dir / "a.htm", dir / "c.gif"}));
    EXPECT_EQ(path.builder.ScannedFiles().size(), 3u);
}

TEST(PathCommand, NoAcceptedFileStillAsksAndYesStoresEmptyFiles) {
    test::TempDir dir;
    dir.write("style.css", "x");
    dir.write("photo.jpeg", "x");
    PathCommand path;
    path.titles.assign({"old"});
    path.run(dir.path(), true);
    EXPECT_EQ(path.titles.count(), 0);
    EXPECT_EQ(path.window.caption(), "loading 1");
    EXPECT_EQ(test::readFile(dir / "pelmaropath.title"), "");
    EXPECT_EQ(test::readFile(dir / "pelmaropath.path"), "");
}

TEST(PathCommand, UnreadablePageKeepsItsDefaultTitleAndTheListsStayParallel) {
    test::TempDir dir;
    dir.write("a.htm", "<title>Alpha</title>");
    const std::string gone = dir.write("gone.page.htm", "<title>Gone</title>");
    const std::string locked = dir.write("locked.txt", "Locked");
    PathCommand path;
    path.files.beforeOpen = [&](const std::string& name) {
        if (name == gone) {
            std::filesystem::remove(gone);  // removed between the scan and its title
        }
        if (name == locked) {
            path.files.locked.insert(locked);
        }
    };
    path.run(dir.path(), true);
    EXPECT_EQ(path.titles.items(), (Names{"Alpha", "gone", "locked"}));
    EXPECT_EQ(path.paths.items(), (Names{dir / "a.htm", gone, locked}));
    EXPECT_EQ(parseLineList(test::readFile(dir / "pelmaropath.title")).size(),
              parseLineList(test::readFile(dir / "pelmaropath.path")).size());
}

TEST(PathCommand, DoesNothingWhileAnotherLongCommandRuns) {
    test::TempDir dir;
    dir.write("a.htm", "x");
    PathCommand path;
    {
        const platform::LongCommandGate::Hold other(path.gate);
        path.builder.Path1Click();  // no folder answer scripted: asking would throw
    }
    EXPECT_TRUE(path.dialogs.folderPrompts.empty());
    EXPECT_TRUE(path.window.captions.empty());

    // F2 pressed again while this build pumps events: the inner one does nothing.
    int inner = 0;
    path.window.onPump = [&] {
        ++inner;
        path.builder.Path1Click();
    };
    path.run(dir.path(), false);
    EXPECT_GT(inner, 0);
    EXPECT_EQ(path.dialogs.folderPrompts.size(), 1u);
    EXPECT_EQ(path.titles.count(), 1);
}

TEST(PathCommand, ClosingTheWindowStopsTheBuildAndStoresNothing) {
    test::TempDir dir;
    for (int i = 0; i < 600; ++i) {
        dir.write("p" + std::to_string(i) + ".htm", "<title>t</title>");
    }
    for (const int closeAtPump : {1, 2, 3}) {
        PathCommand path;
        path.window.onPump = [&] { path.window.closing = path.window.pumps >= closeAtPump; };
        path.run(dir.path(), std::nullopt);  // asking would throw: no answer is scripted
        EXPECT_EQ(path.window.pumps, closeAtPump);
        EXPECT_TRUE(path.dialogs.questions.empty());
        EXPECT_FALSE(exists(dir / "pelmaropath.title"));
        EXPECT_EQ(path.current.BookmarkFileName, "/old/pelmaropath.bookmark");
        EXPECT_FALSE(path.gate.busy());
    }
}

TEST(PathCommand, CaptionsCountScannedNamesInStepsAndPumpAsOften) {
    test::TempDir dir;
    for (int i = 0; i < 600; ++i) {
        dir.write("p" + std::to_string(i) + (i % 3 == 0 ? ".css" : ".htm"), "<title>t</title>");
    }
    PathCommand path;
    path.run(dir.path(), false);
    const Names expected = {"please wait...", "loading 0",   "loading 256",
                            "loading 512",    "loading 599", "sorting...400 total is 400"};
    EXPECT_EQ(path.window.captions, expected);
    EXPECT_EQ(path.window.pumps, 1 + 4);  // one folder, four caption steps
}

TEST(PathCommand, FailedSaveReportsAndKeepsTheBuiltCatalogue) {
    test::TempDir dir;
    dir.write("a.htm", "<title>A</title>");
    dir.mkdir("pelmaropath.path");  // a folder where the path list must go
    PathCommand path;
    try {
        path.run(dir.path(), true);
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind(
                      "Cannot create file \"" + (dir / "pelmaropath.path") + "\". ", 0),
                  0u)
            << e.what();
    }
    EXPECT_EQ(path.titles.items(), Names{"A"});
    EXPECT_EQ(test::readFile(dir / "pelmaropath.title"), "A\r\n");
    EXPECT_EQ(path.current.BookmarkFileName, "/old/pelmaropath.bookmark");
    EXPECT_FALSE(path.gate.busy());
}

// The real file system, safe for worker threads when `threaded`, with pages that fail to open
// and names whose reading fails unexpectedly. Set up before a build; read-only during it.
class ThreadedFiles final : public test::ForwardingFileSystem {
public:
    explicit ThreadedFiles(bool threaded) : threaded_(threaded) {}

    std::set<std::string> failing;
    std::set<std::string> crashing;
    // Each open waits this long, so that a build lasts long enough to be stopped halfway.
    std::chrono::milliseconds openDelay{0};
    std::atomic<int> opened{0};

    bool threadSafeReads() const override { return threaded_; }
    std::unique_ptr<platform::InputFile> openForReading(const std::string& fileName) override {
        ++opened;
        std::this_thread::sleep_for(openDelay);
        if (failing.count(fileName) != 0) {
            throwCannotOpen(fileName, EACCES);
        }
        if (crashing.count(fileName) != 0) {
            throw std::logic_error("unexpected");
        }
        return real_.openForReading(fileName);
    }

private:
    bool threaded_;
};

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

struct Built {
    BuildResult result;
    Names titles;
    Names paths;
    std::string lastCaption;
};

Built build(platform::FileSystem& files, const std::string& folder,
            const std::function<void(test::FakeWindow&)>& onPump = {}) {
    platform::MemoryList titles;
    platform::MemoryList paths;
    test::FakeWindow window;
    if (onPump) {
        window.onPump = [&] { onPump(window); };
    }
    std::vector<std::string> scanned;
    const BuildResult result = buildCatalogue({titles, paths}, files, window, folder, scanned);
    return {result, titles.items().toVector(), paths.items().toVector(), window.caption()};
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
    ThreadedFiles one(false);
    ThreadedFiles many(true);
    // Pages that can't be read keep their default titles on either path.
    for (const std::size_t i : {4u, 5u, 1000u, 1199u}) {
        one.failing.insert(names_[i]);
        many.failing.insert(names_[i]);
    }
    const Built expected = build(one, dir_->path());
    const Built got = build(many, dir_->path());
    ASSERT_EQ(expected.result, BuildResult::Built);
    EXPECT_EQ(expected.paths.size(), 1000u);  // all but the ".css" files
    EXPECT_EQ(got.result, expected.result);
    EXPECT_EQ(got.titles, expected.titles);
    EXPECT_EQ(got.paths, expected.paths);
    EXPECT_EQ(got.lastCaption, expected.lastCaption);
    EXPECT_NE(std::find(got.titles.begin(), got.titles.end(), "p1000"), got.titles.end());
}

TEST_F(BuildOnWorkers, StopWhenTheWindowCloses) {
    struct CloseCase {
        const char* when;
        std::function<bool(const test::FakeWindow&, const ThreadedFiles&)> closeNow;
    };
    const CloseCase cases[] = {
        {"once the workers read",
         [](auto&, const ThreadedFiles& files) { return files.opened > 0; }},
        // The first caption after "please wait..." comes once the scan is over.
        {"once the scan is over",
         [](const test::FakeWindow& window, auto&) { return window.captions.size() > 1; }},
    };
    for (const auto& c : cases) {
        ThreadedFiles slow(true);
        slow.openDelay = std::chrono::milliseconds(5);
        const Built stopped = build(slow, dir_->path(), [&](test::FakeWindow& window) {
            window.closing = c.closeNow(window, slow);
        });
        EXPECT_EQ(stopped.result, BuildResult::Stopped) << c.when;
        EXPECT_TRUE(stopped.titles.empty()) << c.when;
        // 1000 pages, 5 ms each: the workers stop long before the end.
        EXPECT_LT(slow.opened.load(), 500) << c.when;
    }
}

TEST_F(BuildOnWorkers, PassOnAnUnexpectedFailureAfterTheOthersStop) {
    ThreadedFiles crashing(true);
    crashing.crashing.insert(names_[1001]);
    EXPECT_THROW(build(crashing, dir_->path()), std::logic_error);
}

}  // namespace
}  // namespace pelmaro
