#include "catalogue/catalogue_files.h"

#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "platform/error.h"
#include "platform/file_names.h"
#include "platform/line_list.h"
#include "tests/support/checks.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

using Lines = std::vector<std::string>;

// What a writer meets at the step numbered `failAt` of the calls that change files.
enum class Failure { None, Kill, NoSpace };

// A file system that counts the calls changing files, and at the one numbered `failAt` does what
// `failure` says instead.
struct FailingFiles {
    explicit FailingFiles(Failure failure = Failure::None, int failAt = -1) {
        files.beforeChange = [this, failure, failAt](const std::string& name) {
            if (steps++ != failAt) {
                return;
            }
            if (failure == Failure::Kill) {
                ::raise(SIGKILL);
            } else if (failure == Failure::NoSpace) {
                throwCannotCreate(name, ENOSPC);
            }
        };
    }
    test::FakeFileSystem files;
    int steps = 0;
};

Lines numbered(const std::string& prefix, int count) {
    Lines lines;
    for (int i = 0; i < count; ++i) {
        lines.push_back(prefix + std::to_string(i));
    }
    return lines;
}

// A folder holding a stored pair of three entries, and the four entries that a save replaces
// them with.
class CataloguePair : public testing::Test {
protected:
    CataloguePair() { save(files, oldTitles, oldPaths); }

    void save(platform::FileSystem& with, const Lines& titles, const Lines& paths) {
        saveCataloguePair(with, base, titles, paths);
    }
    StoredCatalogue load() { return loadCataloguePair(files, base + ".title", base + ".path"); }

    // The pair loads as the complete old or the complete new catalogue, and nothing of a save
    // is left beside it.
    void expectOldOrNew(const std::string& context) {
        const StoredCatalogue lines = load();
        const bool isOld = lines.titles == oldTitles && lines.paths == oldPaths;
        const bool isNew = lines.titles == newTitles && lines.paths == newPaths;
        EXPECT_TRUE(isOld || isNew) << context << ": " << lines.titles.size() << " titles, "
                                    << lines.paths.size() << " paths";
        EXPECT_EQ(folderContent(), (Lines{"pelmaropath.path", "pelmaropath.title"})) << context;
    }
    Lines folderContent() const {
        Lines names;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // Runs a save of the new catalogue in a child process; `kill` is called in the parent with
    // the child's id.
    void saveInChild(FailingFiles& with, const std::function<void(pid_t)>& kill) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            try {
                save(with.files, newTitles, newPaths);
            } catch (...) {
            }
            ::_exit(0);
        }
        kill(child);
        int status = 0;
        ::waitpid(child, &status, 0);
    }

    test::TempDir dir;
    const std::string folder = dir.mkdir("help");
    const std::string base = folder + "/pelmaropath";
    platform::PosixFileSystem files;
    const Lines oldTitles = numbered("old title ", 3);
    const Lines oldPaths = numbered("/old/", 3);
    const Lines newTitles = numbered("new title ", 4);
    const Lines newPaths = numbered("/new/", 4);
};

TEST_F(CataloguePair, SaveReplacesBothAndLeavesNothingElse) {
    save(files, newTitles, newPaths);
    EXPECT_EQ(load().titles, newTitles);
    EXPECT_EQ(load().paths, newPaths);
    EXPECT_EQ(test::readFile(base + ".title"), formatLineList(newTitles));
    EXPECT_EQ(folderContent(), (Lines{"pelmaropath.path", "pelmaropath.title"}));
}

TEST_F(CataloguePair, KilledAtEveryStepLeavesOneWholePair) {
    FailingFiles counting;
    save(counting.files, newTitles, newPaths);
    const int stepCount = counting.steps;
    ASSERT_GE(stepCount, 6);
    for (int step = 0; step < stepCount; ++step) {
        save(files, oldTitles, oldPaths);
        FailingFiles killing(Failure::Kill, step);
        saveInChild(killing, [](pid_t) {});
        expectOldOrNew("killed before step " + std::to_string(step));
    }
}

TEST_F(CataloguePair, KilledBetweenTheRenamesLoadsTheNewPair) {
    // The save's steps: two temporary files, the marker (temporary, rename, sync), the title
    // rename, then the path rename.
    FailingFiles killing(Failure::Kill, 6);
    saveInChild(killing, [](pid_t) {});
    ASSERT_TRUE(files.fileExists(savingMarkerOf(base + ".path")));
    EXPECT_EQ(test::readFile(base + ".title"), formatLineList(newTitles));
    EXPECT_EQ(test::readFile(base + ".path"), formatLineList(oldPaths));  // torn on the disk
    EXPECT_EQ(load().paths, newPaths);
    expectOldOrNew("between the renames");
}

TEST_F(CataloguePair, KilledAtRandomMomentsLeavesOneWholePair) {
    // Big enough that a save takes a few milliseconds.
    const Lines bigTitles = numbered(std::string(200, 't'), 20000);
    const Lines bigPaths = numbered(std::string(200, 'p'), 20000);
    std::mt19937 random(12);
    for (int round = 0; round < 12; ++round) {
        save(files, oldTitles, oldPaths);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            saveCataloguePair(files, base, bigTitles, bigPaths);
            ::_exit(0);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 30000));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const StoredCatalogue lines = load();
        EXPECT_TRUE((lines.titles == oldTitles && lines.paths == oldPaths) ||
                    (lines.titles == bigTitles && lines.paths == bigPaths))
            << "round " << round;
        EXPECT_EQ(folderContent(), (Lines{"pelmaropath.path", "pelmaropath.title"}));
    }
}

TEST_F(CataloguePair, FailedWriteAtEveryStepKeepsOneWholePairAndIsReported) {
    for (int step = 0; step < 9; ++step) {
        save(files, oldTitles, oldPaths);
        FailingFiles failing(Failure::NoSpace, step);
        const std::string error = test::errorOf([&] { save(failing.files, newTitles, newPaths); });
        expectOldOrNew("failed at step " + std::to_string(step));
        if (load().titles == oldTitles) {
            EXPECT_NE(error, "(no error)") << "the old pair stands: the save must say so";
        }
    }
}

TEST_F(CataloguePair, LeftoversOfAKilledSaveAreRemovedByTheNextSave) {
    const std::string stray = files.writeTemporary(base + ".path", "half");
    save(files, newTitles, newPaths);
    EXPECT_FALSE(std::filesystem::exists(stray));
    EXPECT_EQ(folderContent(), (Lines{"pelmaropath.path", "pelmaropath.title"}));
}

TEST_F(CataloguePair, ForeignMarkerRenamesNothing) {
    dir.write("help/victim", "keep");
    dir.write("help/pelmaropath.saving",
              "victim\r\npelmaropath.path\r\n../x\r\npelmaropath.title\r\n");
    const StoredCatalogue lines = load();
    EXPECT_EQ(lines.paths, oldPaths);
    EXPECT_EQ(test::readFile(folder + "/victim"), "keep");
    EXPECT_FALSE(files.fileExists(folder + "/pelmaropath.saving"));
}

TEST_F(CataloguePair, LineCountsThatDifferAreReportedNamingBothFiles) {
    dir.write("help/pelmaropath.title", "a\r\nb\r\nc\r\nd\r\n");
    EXPECT_EQ(test::errorOf([&] { load(); }), "The catalogue files \"" + base + ".title\" and \"" +
                                                  base + ".path\" do not match: 4 titles, 3 paths");
}

// A small file system of its own, so that the disk is full for real: the old pair fits, the new
// one doesn't.
TEST_F(CataloguePair, FullDiskKeepsTheOldPair) {
    const std::string small = dir.mkdir("small");
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "a tmpfs can't be mounted here (" << systemMessage(errno)
                     << "); the full disk is not tested";
    }
    struct Unmount {
        std::string at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } const unmount{small};
    const std::string smallBase = small + "/pelmaropath";
    saveCataloguePair(files, smallBase, oldTitles, oldPaths);
    const Lines bigTitles = numbered(std::string(100, 't'), 300);
    const Lines bigPaths = numbered(std::string(100, 'p'), 300);  // 30 KiB each: one fits
    const std::string error =
        test::errorOf([&] { saveCataloguePair(files, smallBase, bigTitles, bigPaths); });
    EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
    const StoredCatalogue lines =
        loadCataloguePair(files, smallBase + ".title", smallBase + ".path");
    EXPECT_EQ(lines.titles, oldTitles);
    EXPECT_EQ(lines.paths, oldPaths);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(small), {}), 2);
}

TEST(KeptCatalogueFolder, IsOneReadableFolderNameThatTwoFoldersNeverShare) {
    const std::pair<const char*, const char*> names[] = {
        {"/usr/share/doc", "/d/%2Fusr%2Fshare%2Fdoc"},
        {"/usr/share%2Fdoc", "/d/%2Fusr%2Fshare%252Fdoc"},
        {"/", "/d/%2F"},
    };
    for (const auto& [folder, kept] : names) {
        EXPECT_EQ(keptCatalogueFolder("/d", folder), kept) << folder;
    }
    // Too long for one folder name: its start, then "%H" and a hash of the whole.
    const std::string deep = "/" + std::string(300, 'x');
    const auto keptName = [](const std::string& folder) {
        return std::string(fileNameOf(keptCatalogueFolder("/d", folder)));
    };
    const std::string a = keptName(deep + "/a");
    EXPECT_NE(a, keptName(deep + "/b"));
    EXPECT_LE(a.size(), 255u);
    EXPECT_EQ(a.rfind("%2F" + std::string(177, 'x') + "%H", 0), 0u) << a;
    // An escape is never cut in half: "%2Fa" and 58 "%2F" are 178 bytes, the 59th would end
    // beyond 180.
    std::string escapes;
    for (int i = 0; i < 58; ++i) {
        escapes += "%2F";
    }
    const std::string cut = keptName("/a" + std::string(100, '/'));
    EXPECT_EQ(cut.substr(0, cut.find("%H")), "%2Fa" + escapes);
}

TEST(ScannedFolder, IsTheOneTheFolderFileNamesOrElseTheCataloguesOwn) {
    test::TempDir dir;
    test::FakeFileSystem files;
    dir.mkdir("kept");
    saveScannedFolder(files, dir / "kept/pelmaropath", "/usr/share/doc");
    EXPECT_EQ(test::readFile(dir / "kept/pelmaropath.folder"), "/usr/share/doc\r\n");
    EXPECT_EQ(scannedFolderOf(files, dir / "kept/pelmaropath.path"), "/usr/share/doc");
    EXPECT_EQ(scannedFolderOf(files, dir / "own/pelmaropath.path"), dir / "own");
    EXPECT_EQ(scannedFolderOf(files, "/pelmaropath.path"), "/");
    // A file that names no folder is not believed.
    for (const char* content : {"doc\r\n", "/a\r\n/b\r\n", ""}) {
        dir.write("bad/pelmaropath.folder", content);
        EXPECT_EQ(scannedFolderOf(files, dir / "bad/pelmaropath.path"), dir / "bad") << content;
    }
}

}  // namespace
}  // namespace pelmaro
