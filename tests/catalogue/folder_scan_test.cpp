#include "catalogue/folder_scan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/fake_file_system.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// The names a folder lists, in the order the system lists them, of one kind.
Names listed(const std::string& folder, platform::DirEntry::Kind kind) {
    platform::PosixFileSystem files;
    Names names;
    for (const auto& entry : files.listFolder(folder)) {
        if (entry.kind == kind) {
            names.push_back(entry.name);
        }
    }
    return names;
}

Names scan(platform::FileSystem& files, const std::string& folder,
           const FolderVisit& beforeEachFolder = {}) {
    Names list;
    collectFiles(files, folder, list, beforeEachFolder);
    return list;
}

Names scan(const std::string& folder) {
    platform::PosixFileSystem files;
    return scan(files, folder);
}

TEST(FolderScan, FilesOfAFolderComeBeforeItsSubfoldersInListingOrder) {
    test::TempDir dir;
    for (const char* name : {"b.htm", "a.htm", "c.txt", "Z.gif"}) {
        dir.write(name, "x");
    }
    dir.write("Sub1/Page.HTM", "x");
    dir.write("Sub1/deep/d.htm", "x");
    dir.write("Sub1/e.htm", "x");
    dir.write("sub2/f.htm", "x");
    dir.write("sub3/g.htm", "x");

    // Expected: depth first, each folder's files (as listed) before its subfolders (as listed).
    Names expected;
    const std::function<void(const std::string&)> walk = [&](const std::string& folder) {
        for (const auto& name : listed(folder, platform::DirEntry::Kind::File)) {
            expected.push_back(folder + name);
        }
        for (const auto& name : listed(folder, platform::DirEntry::Kind::Directory)) {
            walk(folder + name + "/");
        }
    };
    walk(dir.path() + "/");

    EXPECT_EQ(scan(dir.path()), expected);
    EXPECT_EQ(scan(dir.path() + "/"), expected);
    ASSERT_EQ(expected.size(), 9u);
    // The folder part keeps its case; names keep theirs.
    EXPECT_NE(std::find(expected.begin(), expected.end(), dir / "Sub1/Page.HTM"), expected.end());
}

TEST(FolderScan, CollectsOnlyNonEmptyRegularFiles) {
    test::TempDir dir;
    dir.write("empty.htm", "");
    dir.write("one.htm", "x");
    dir.mkdir("emptydir");
    ASSERT_EQ(::mkfifo((dir / "pipe.htm").c_str(), 0600), 0);
    fs::create_symlink(dir / "one.htm", dir / "link.htm");
    fs::create_symlink(dir / "nowhere.htm", dir / "broken.htm");
    fs::create_symlink(dir / "empty.htm", dir / "emptylink.htm");

    Names found = scan(dir.path());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (Names{dir / "link.htm", dir / "one.htm"}));
}

TEST(FolderScan, SkipsNamesHoldingLineBreaks) {
    test::TempDir dir;
    dir.write("good.htm", "x");
    dir.write("bad\rname.htm", "x");
    dir.write("bad\nname.htm", "x");
    dir.write("cr\rfolder/inside.htm", "x");
    dir.write("lf\nfolder/inside.htm", "x");
    EXPECT_EQ(scan(dir.path()), (Names{dir / "good.htm"}));
}

TEST(FolderScan, FollowsLinksInsideButScansNoFolderTwice) {
    test::TempDir dir;
    const std::string root = dir.mkdir("root");
    dir.write("root/a.htm", "x");
    dir.write("root/sub/b.htm", "x");
    dir.write("root/hidden/deep/c.htm", "x");
    ::chmod((dir / "root/hidden").c_str(), 0700);
    fs::create_directory_symlink(root, dir / "root/sub/back");  // loops to the start
    fs::create_directory_symlink(dir / "root/sub", dir / "root/sub/self");
    fs::create_directory_symlink("../hidden/deep", dir / "root/sub/deep");

    Names found = scan(root);
    std::sort(found.begin(), found.end());
    // Inside the folder, a link leads anywhere (a private folder too), but only once.
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0], root + "/a.htm");
    EXPECT_TRUE(found[1] == root + "/hidden/deep/c.htm" || found[1] == root + "/sub/b.htm");
    EXPECT_TRUE(found[2] == root + "/sub/b.htm" || found[2] == root + "/sub/deep/c.htm");
}

// A small folder of system documentation that exists on this machine, or "".
std::string systemDocumentation() {
    platform::PosixFileSystem files;
    for (const char* candidate : {"/usr/share/doc/bash", "/usr/share/doc/coreutils",
                                  "/usr/share/doc/libc6", "/usr/share/doc/dpkg"}) {
        struct stat info {};
        if (::stat(candidate, &info) == 0 && S_ISDIR(info.st_mode) &&
            platform::isPublicSystemFolder(info.st_uid, info.st_mode)) {
            return candidate;
        }
    }
    return "";
}

TEST(FolderScan, LinksLeaveTheFolderOnlyIntoSystemDocumentation) {
    test::TempDir dir;
    const std::string home = dir.mkdir("home");
    dir.write("home/notes.htm", "x");
    const test::ScopedEnv homeVariable("HOME", home);
    dir.write("shared/s.htm", "x");
    ::chmod((dir / "shared").c_str(), 01777);
    const std::string outsideFile = dir.write("single.htm", "x");
    ::chmod(outsideFile.c_str(), 0600);
    const std::string tree = dir.mkdir("tree");
    dir.write("tree/page.htm", "x");
    dir.write("tree/sub/s.htm", "x");

    struct Link {
        const char* name;
        std::string target;
    };
    const Link links[] = {
        {"root", "/"},
        {"up", ".."},
        {"self", tree},
        {"mine", home},
        {"shared", dir / "shared"},
        {"sub/deeper", home},  // judged at any depth
        {"sub/back", "../.."},
        {"single.htm", outsideFile},  // a single file is catalogued as ever
    };
    for (const auto& link : links) {
        ASSERT_EQ(::symlink(link.target.c_str(), (dir / "tree/").append(link.name).c_str()), 0);
    }
    const std::string documentation = systemDocumentation();
    if (!documentation.empty()) {
        fs::create_directory_symlink(documentation, dir / "tree/doc");
    }

    Names found = scan(tree);
    std::sort(found.begin(), found.end());
    Names fromDocumentation;
    std::erase_if(found, [&](const std::string& name) {
        const bool inDocumentation = name.starts_with(tree + "/doc/");
        if (inDocumentation) {
            fromDocumentation.push_back(name);
        }
        return inDocumentation;
    });
    EXPECT_EQ(found, (Names{tree + "/page.htm", tree + "/single.htm", tree + "/sub/s.htm"}));
    if (documentation.empty()) {
        GTEST_SKIP() << "no small folder of system documentation on this machine";
    }
    EXPECT_FALSE(fromDocumentation.empty()) << documentation;
    EXPECT_NE(
        std::find(fromDocumentation.begin(), fromDocumentation.end(), tree + "/doc/copyright"),
        fromDocumentation.end());
}

// Out of the folder, a scan takes only what everyone may read, even when it may read more.
TEST(FolderScan, OutOfTheFolderOnlyPublicFoldersAndFilesAreTaken) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs a folder root owns";
    }
    test::TempDir dir;
    const std::string open = dir.write("pub/open.htm", "x");
    const std::string secret = dir.write("pub/secret.htm", "x");
    dir.write("pub/private/p.htm", "x");
    dir.write("pub/public/q.htm", "x");
    dir.write("pub/writable/w.htm", "x");
    ::chmod((dir / "pub").c_str(), 0755);
    ::chmod((dir / "pub/public").c_str(), 0755);
    ::chmod(open.c_str(), 0644);
    ::chmod(secret.c_str(), 0600);
    ::chmod((dir / "pub/private").c_str(), 0700);
    ::chmod((dir / "pub/writable").c_str(), 0777);
    const std::string tree = dir.mkdir("tree");
    fs::create_directory_symlink(dir / "pub", dir / "tree/pub");

    // Behind a folder only its owner may enter, "pub" is nobody's documentation.
    EXPECT_EQ(scan(tree), Names{});
    ::chmod(dir.path().c_str(), 0755);
    Names found = scan(tree);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (Names{tree + "/pub/open.htm", tree + "/pub/public/q.htm"}));
}

TEST(FolderScan, MissingOrUnreadableThingsAreSilentlySkipped) {
    test::TempDir dir;
    test::FakeFileSystem files;
    files.listingsWithoutSizes = true;
    const std::string locked = dir.write("locked.htm", "x");
    dir.write("open.htm", "x");
    files.locked.insert(locked);
    EXPECT_EQ(scan(files, dir.path()), (Names{dir / "open.htm"}));
    EXPECT_EQ(scan(files, dir / "missing"), Names{});
}

TEST(FolderScan, VisitsEachFolderOnceAndStopsWhenTheVisitSaysSo) {
    test::TempDir dir;
    dir.write("a.htm", "x");
    dir.write("s1/b.htm", "x");
    dir.write("s1/s2/c.htm", "x");
    platform::PosixFileSystem files;
    int visits = 0;
    EXPECT_EQ(scan(files, dir.path(), [&] { return ++visits > 0; }).size(), 3u);
    EXPECT_EQ(visits, 3);

    visits = 0;
    EXPECT_EQ(scan(files, dir.path(), [&] { return ++visits < 2; }), (Names{dir / "a.htm"}));
    EXPECT_EQ(visits, 2);
}

TEST(FolderScan, NeverEntersTheSystemsOwnFileSystems) {
    test::TempDir dir;
    dir.write("tree/page.htm", "x");
    for (const char* system : {"/proc", "/sys", "/dev"}) {
        ::symlink(system, (dir / "tree").append("/link").append(system).c_str());
    }
    EXPECT_EQ(scan(dir / "tree"), Names{dir / "tree/page.htm"});
    EXPECT_EQ(scan("/proc/self"), Names{});
}

TEST(FolderScan, FileSizeKeepsAllSixtyFourBits) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    struct SizeCase {
        const char* name;
        std::int64_t size;
    };
    // Sparse files: no disk space is used.
    const SizeCase cases[] = {
        {"one.htm", 1},
        {"four-gib.htm", std::int64_t{1} << 32},
        {"four-gib-plus-one.htm", (std::int64_t{1} << 32) + 1},
        {"top-bit.htm", std::int64_t{3} << 30},
    };
    for (const auto& c : cases) {
        const std::string name = dir.write(c.name, "");
        ASSERT_EQ(::truncate(name.c_str(), c.size), 0) << c.name;
        EXPECT_EQ(files.fileSize(name), c.size) << c.name;
    }
    EXPECT_EQ(files.fileSize(dir / "missing.htm"), std::nullopt);
    EXPECT_EQ(files.fileSize(dir.path()), std::nullopt);
    EXPECT_EQ(scan(dir.path()).size(), 4u);
}

}  // namespace
}  // namespace pelmaro
