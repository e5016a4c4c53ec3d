#include "platform/file_system.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <tuple>
#include <utility>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace pelmaro::platform {
namespace {

using test::TempDir;

TEST(FileNames, OneFolderRuleAndOneJoinAlsoAtTheRoot) {
    const std::pair<const char*, const char*> folders[] = {
        {"/x/a.title", "/x"}, {"/a.title", "/"}, {"/x/y/", "/x/y"}, {"a.title", "."}, {"x/a", "x"},
    };
    for (const auto& [name, folder] : folders) {
        EXPECT_EQ(folderOf(name), folder) << name;
    }
    const std::tuple<const char*, const char*, const char*> joins[] = {
        {"/x", "a", "/x/a"}, {"/", "a", "/a"}, {"/x/", "a", "/x/a"}};
    for (const auto& [folder, name, joined] : joins) {
        EXPECT_EQ(childName(folder, name), joined) << folder;
        EXPECT_EQ(folderOf(childName(folder, name)), folderOf(joined)) << folder;
    }
}

TEST(PosixFileSystem, ListsFilesFoldersAndFollowsLinks) {
    TempDir dir;
    dir.write("page.htm", "x");
    dir.mkdir("sub");
    ::symlink((dir / "sub").c_str(), (dir / "link-to-sub").c_str());
    ::symlink((dir / "page.htm").c_str(), (dir / "link-to-page").c_str());
    ::symlink((dir / "nowhere").c_str(), (dir / "broken").c_str());
    ::mkfifo((dir / "fifo").c_str(), 0600);

    PosixFileSystem files;
    std::vector<DirEntry> entries = files.listFolder(dir.path());
    std::sort(entries.begin(), entries.end(),
              [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    ASSERT_EQ(entries.size(), 6u);
    const auto kind = [&](std::size_t i) { return entries[i].kind; };
    EXPECT_EQ(entries[0].name, "broken");
    EXPECT_EQ(kind(0), DirEntry::Kind::Other);
    EXPECT_EQ(kind(1), DirEntry::Kind::Other);      // fifo
    EXPECT_EQ(kind(2), DirEntry::Kind::File);       // link-to-page
    EXPECT_EQ(kind(3), DirEntry::Kind::Directory);  // link-to-sub
    EXPECT_EQ(kind(4), DirEntry::Kind::File);       // page.htm
    EXPECT_EQ(kind(5), DirEntry::Kind::Directory);  // sub
    EXPECT_EQ(entries[3].id, entries[5].id);
    // Only the linked folder says where it leads, with its target's owner and mode.
    ASSERT_TRUE(entries[3].link);
    EXPECT_EQ(entries[3].link->realPath, std::filesystem::canonical(dir / "sub").string());
    EXPECT_EQ(entries[3].link->owner, ::geteuid());
    EXPECT_TRUE(S_ISDIR(entries[3].link->mode));
    EXPECT_FALSE(entries[5].link);
    ASSERT_TRUE(entries[5].access);
    EXPECT_EQ(entries[5].access->mode, entries[3].link->mode);
    EXPECT_FALSE(entries[2].link);  // a linked file is judged elsewhere

    EXPECT_THROW(files.listFolder(dir / "missing"), Error);
}

TEST(PosixFileSystem, HomeFolderIsTheRealPathOfHomeElseTheAccounts) {
    TempDir dir;
    const std::string real = std::filesystem::canonical(dir.mkdir("home")).string();
    ::symlink((dir / "home").c_str(), (dir / "via").c_str());
    PosixFileSystem files;
    const passwd* account = ::getpwuid(::getuid());
    ASSERT_NE(account, nullptr);
    const std::optional<std::string> unset;
    struct Case {
        std::optional<std::string> variable;
        std::string expected;
    };
    const Case cases[] = {
        {dir / "via/", real},
        {dir / "not-yet//", dir / "not-yet"},
        {"", std::filesystem::weakly_canonical(account->pw_dir).string()},
        {unset, std::filesystem::weakly_canonical(account->pw_dir).string()},
    };
    for (const auto& c : cases) {
        test::ScopedEnv home("HOME", c.variable);
        EXPECT_EQ(files.homeFolder(), c.expected) << c.variable.value_or("(unset)");
    }
    EXPECT_EQ(files.realPath(dir / "via/."), real);
    EXPECT_EQ(files.realPath(dir / "missing"), std::nullopt);
}

TEST(PosixFileSystem, ListingGivesEachFileTheSizeThatFileSizeAnswers) {
    TempDir dir;
    dir.write("one", "1");
    dir.write("empty", "");
    dir.write("big", std::string(70000, 'x'));
    dir.mkdir("folder");
    ::mkfifo((dir / "fifo").c_str(), 0600);
    ::symlink((dir / "big").c_str(), (dir / "link-to-big").c_str());
    ::symlink((dir / "nowhere").c_str(), (dir / "broken").c_str());
    // Unreadable to a user, readable to root: the listing must agree with an open either way.
    for (const auto& [name, mode] : {std::pair{"no-rights", 0000}, std::pair{"read-only", 0400},
                                     std::pair{"write-only", 0200}}) {
        ::chmod(dir.write(name, "abc").c_str(), static_cast<mode_t>(mode));
    }
    if (::geteuid() == 0) {
        // Another owner's private file: readable to root only through its privilege.
        const std::string name = dir.write("others", "abcd");
        ASSERT_EQ(::chown(name.c_str(), 65534, 65534), 0);
        ::chmod(name.c_str(), 0600);
    }

    PosixFileSystem files;
    const std::vector<DirEntry> entries = files.listFolder(dir.path() + "/");
    std::map<std::string, std::optional<std::int64_t>> sizes;
    for (const auto& entry : entries) {
        sizes[entry.name] = entry.size;
        if (entry.kind == DirEntry::Kind::File) {
            ASSERT_TRUE(entry.sizeListed) << entry.name;
            EXPECT_EQ(entry.size, files.fileSize(dir / entry.name)) << entry.name;
        } else {
            EXPECT_FALSE(entry.sizeListed) << entry.name;
        }
    }
    EXPECT_EQ(sizes["one"], 1);
    EXPECT_EQ(sizes["empty"], 0);
    EXPECT_EQ(sizes["link-to-big"], 70000);
    EXPECT_EQ(sizes["read-only"], 3);
}

TEST(PosixFileSystem, SizeIsEmptyForAnythingButARegularFile) {
    TempDir dir;
    dir.write("one", "1");
    dir.write("empty", "");
    dir.mkdir("folder");
    ::mkfifo((dir / "fifo").c_str(), 0600);
    PosixFileSystem files;
    EXPECT_EQ(files.fileSize(dir / "one"), 1);
    EXPECT_EQ(files.fileSize(dir / "empty"), 0);
    EXPECT_EQ(files.fileSize(dir / "folder"), std::nullopt);
    EXPECT_EQ(files.fileSize(dir / "fifo"), std::nullopt);  // and does not hang
    EXPECT_EQ(files.fileSize(dir / "missing"), std::nullopt);
}

TEST(PosixFileSystem, StampTellsAnotherVersionOfAFileAndOnlyRegularFilesHaveOne) {
    TempDir dir;
    const std::string name = dir.write("page.htm", "one");
    dir.mkdir("folder");
    ::mkfifo((dir / "fifo").c_str(), 0600);
    PosixFileSystem files;
    const std::optional<FileStamp> first = files.fileStamp(name);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size, 3);
    EXPECT_EQ(files.fileStamp(name), first);
    ::symlink(name.c_str(), (dir / "link").c_str());
    EXPECT_EQ(files.fileStamp(dir / "link"), first);

    // Another file renamed over it, with the same size and times: its inode tells it apart.
    const std::string other = dir.write("other.htm", "two");
    const struct timespec times[2] = {{1000, 0}, {1000, 0}};
    ::utimensat(AT_FDCWD, name.c_str(), times, 0);
    ::utimensat(AT_FDCWD, other.c_str(), times, 0);
    const std::optional<FileStamp> before = files.fileStamp(name);
    std::filesystem::rename(other, name);
    const std::optional<FileStamp> after = files.fileStamp(name);
    ASSERT_TRUE(before && after);
    EXPECT_EQ(after->modifiedNs, before->modifiedNs);
    EXPECT_NE(after->inode, before->inode);
    EXPECT_EQ(after->modifiedNs, std::int64_t{1000} * 1000000000);

    EXPECT_EQ(files.fileStamp(dir / "folder"), std::nullopt);
    EXPECT_EQ(files.fileStamp(dir / "fifo"), std::nullopt);
    EXPECT_EQ(files.fileStamp(dir / "missing"), std::nullopt);
}

TEST(PosixFileSystem, StampReaderAnswersAsFileStampFolderAfterFolder) {
    TempDir dir;
    dir.mkdir("a");
    dir.mkdir("a/b");
    dir.write("a/one.htm", "1");
    dir.write("a/two.htm", "22");
    dir.write("a/b/three.htm", "333");
    ::symlink((dir / "a").c_str(), (dir / "linked").c_str());
    ::symlink((dir / "a/two.htm").c_str(), (dir / "a/b/to-two.htm").c_str());
    PosixFileSystem files;
    const std::unique_ptr<StampReader> stamps = files.stampReader();
    // The reader keeps a folder open between names: the same folder again, another, back, a
    // folder reached through a link, and names that are no file.
    for (const std::string name :
         {"a/one.htm", "a/two.htm", "a/b/three.htm", "a/b/to-two.htm", "a/one.htm",
          "linked/two.htm", "a/missing.htm", "a/b", "gone/one.htm", "a/b/three.htm/x"}) {
        EXPECT_EQ(stamps->stamp(dir / name), files.fileStamp(dir / name)) << name;
    }
    EXPECT_EQ(stamps->stamp(dir / "gone/one.htm"), std::nullopt);
    EXPECT_EQ(stamps->stamp(dir / "a/b/to-two.htm")->size, 2);

    // A file replaced while its folder is held: the new one's stamp.
    const std::optional<FileStamp> before = stamps->stamp(dir / "a/one.htm");
    std::filesystem::rename(dir.write("a/new.htm", "new"), dir / "a/one.htm");
    const std::optional<FileStamp> after = stamps->stamp(dir / "a/one.htm");
    ASSERT_TRUE(before && after);
    EXPECT_NE(after->inode, before->inode);
    EXPECT_EQ(after, files.fileStamp(dir / "a/one.htm"));
}

TEST(PosixFileSystem, OpenFileTellsTheStampOfTheFileItReads) {
    TempDir dir;
    const std::string name = dir.write("page.htm", "one");
    PosixFileSystem files;
    ASSERT_TRUE(files.stampsOpenFiles());
    const std::unique_ptr<InputFile> file = files.openForReading(name);
    EXPECT_EQ(file->stamp(), files.fileStamp(name));
    ASSERT_TRUE(file->stamp());
    // Renamed over: the name has another file's stamp; the open file is still the one read (its
    // change time moves as it loses its name, so a build does not vouch for it).
    const std::optional<FileStamp> read = file->stamp();
    std::filesystem::rename(dir.write("new.htm", "two"), name);
    EXPECT_EQ(file->stamp()->inode, read->inode);
    EXPECT_NE(files.fileStamp(name)->inode, read->inode);
    // Written to in place: the open file's stamp moves with it.
    const std::unique_ptr<InputFile> again = files.openForReading(name);
    std::ofstream(name, std::ios::app) << " more";
    EXPECT_EQ(again->stamp()->size, 8);
    EXPECT_EQ(again->stamp(), files.fileStamp(name));
}

TEST(OpenRegularFile, AnswersAFileOrFailsKeepingTheSystemsReason) {
    TempDir dir;
    dir.write("one", "1");
    dir.mkdir("folder");
    ::mkfifo((dir / "fifo").c_str(), 0600);
    int descriptor = -1;
    {
        const RegularFile file = openRegularFile(dir / "one");
        EXPECT_EQ(file.size(), 1);
        descriptor = file.descriptor();
        EXPECT_NE(::fcntl(descriptor, F_GETFD), -1);
    }
    EXPECT_EQ(::fcntl(descriptor, F_GETFD), -1) << "closed with the RegularFile";
    {
        RegularFile file = openRegularFile(dir / "one");
        descriptor = file.release();
    }
    EXPECT_NE(::fcntl(descriptor, F_GETFD), -1) << "released: its new owner closes it";
    ::close(descriptor);

    const std::tuple<const char*, int, std::string> failures[] = {
        {"folder", EISDIR, "Is a directory"},
        {"fifo", EINVAL, "It is not a regular file"},  // and does not hang
        {"missing", ENOENT, "No such file or directory"},
    };
    for (const auto& [name, err, reason] : failures) {
        try {
            openRegularFile(dir / name);
            ADD_FAILURE() << name << " opened";
        } catch (const Error& e) {
            EXPECT_EQ(e.systemError(), err) << name;
            EXPECT_EQ(std::string(e.what()),
                      "Cannot open file \"" + (dir / name) + "\". " + reason);
        }
    }
}

TEST(PosixFileSystem, SizeKeepsAll64Bits) {
    TempDir dir;
    const std::string name = dir.write("sparse", "");
    // 4 GiB + 1 byte, sparse: takes no disk space.
    ASSERT_EQ(::truncate(name.c_str(), (std::int64_t{1} << 32) + 1), 0);
    PosixFileSystem files;
    EXPECT_EQ(files.fileSize(name), (std::int64_t{1} << 32) + 1);
    ASSERT_EQ(::truncate(name.c_str(), std::int64_t{1} << 32), 0);
    EXPECT_EQ(files.fileSize(name), std::int64_t{1} << 32);
}

TEST(PosixFileSystem, OpenFailureNamesTheFileAndTheReason) {
    TempDir dir;
    PosixFileSystem files;
    try {
        files.openForReading(dir / "missing.htm");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + (dir / "missing.htm") + "\". No such file or directory");
    }
}

TEST(PosixFileSystem, FifoOrDeviceIsNotARegularFile) {
    TempDir dir;
    ::mkfifo((dir / "fifo").c_str(), 0600);
    PosixFileSystem files;
    for (const std::string& name : {dir / "fifo", std::string("/dev/null")}) {
        try {
            files.openForReading(name);
            FAIL() << name;
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Cannot open file \"" + name + "\". It is not a regular file");
        }
    }
}

TEST(PosixFileSystem, WriteReplacesTheFileAndLeavesNoTemporaryBehind) {
    TempDir dir;
    PosixFileSystem files;
    const std::string name = dir / "a.title";
    files.writeFile(name, "first\r\n");
    files.writeFile(name, "second\r\n");
    EXPECT_EQ(test::readFile(name), "second\r\n");
    EXPECT_EQ(readWholeFile(files, name), "second\r\n");
    EXPECT_EQ(files.listFolder(dir.path()).size(), 1u);
    struct stat info {};
    ::stat(name.c_str(), &info);
    EXPECT_NE(info.st_mode & 0044, 0u) << "a saved file is as readable as a plainly created one";
}

TEST(PosixFileSystem, WriteThroughALinkReplacesItsTargetAndKeepsTheLink) {
    TempDir dir;
    PosixFileSystem files;
    const std::string target = dir.write("dotfiles/settings.reg", "old");
    const std::string link = dir.mkdir("config") + "/settings.reg";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    files.writeFile(link, "new");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(test::readFile(target), "new");
    EXPECT_EQ(files.listFolder(dir / "config").size(), 1u);
}

TEST(PosixFileSystem, MakeFoldersCreatesWhatIsMissingAndFailsWhereAFileStands) {
    TempDir dir;
    PosixFileSystem files;
    dir.mkdir("a");
    files.makeFolders(dir / "a/b/c");
    files.makeFolders(dir / "a/b/c/");  // all there: no failure
    EXPECT_TRUE(std::filesystem::is_directory(dir / "a/b/c"));

    dir.write("file", "x");
    try {
        files.makeFolders(dir / "file/d");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create folder \"" + (dir / "file/d") + "\". Not a directory");
    }
}

TEST(PosixFileSystem, FailedWriteKeepsTheOldFileAndSaysCannotCreate) {
    TempDir dir;
    PosixFileSystem files;
    try {
        files.writeFile(dir / "no-such-folder/a.title", "x");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" +
                                             (dir / "no-such-folder/a.title") +
                                             "\". No such file or directory");
    }
    EXPECT_THROW(files.writeFile("", "x"), Error);
}

TEST(PosixFileSystem, TemporaryWrittenInPiecesIsKeptWholeOrLeavesNothing) {
    TempDir dir;
    PosixFileSystem files;
    const std::string name = dir / "big.trigrams";
    const std::string large(300000, 'x');
    {
        const auto file = files.createTemporary(name);
        file->write("head ");
        file->write(large);
        files.renameFile(file->keep(), name);
    }
    EXPECT_EQ(test::readFile(name), "head " + large);
    {
        const auto file = files.createTemporary(name);
        file->write("unfinished");
        EXPECT_EQ(files.temporariesOf(name).size(), 1u);
    }
    EXPECT_TRUE(files.temporariesOf(name).empty());
    EXPECT_THROW(files.createTemporary(dir / "no-such-folder/a"), Error);
}

TEST(PosixFileSystem, MappedFileKeepsItsBytesWhenTheFileIsReplaced) {
    TempDir dir;
    PosixFileSystem files;
    const std::string name = dir.write("a.trigrams", "first");
    const auto mapped = files.mapForReading(name);
    files.writeFile(name, "second, longer");
    EXPECT_EQ(mapped->bytes(), "first");
    EXPECT_EQ(files.mapForReading(dir.write("empty", ""))->bytes(), "");
    try {
        files.mapForReading(dir / "missing");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + (dir / "missing") + "\". No such file or directory");
    }
    EXPECT_THROW(files.mapForReading("/dev/null"), Error);
}

TEST(PosixFileSystem, WatchSeesWritesThroughAnyNameAndIsNotHadWhereFilesChangeUnseen) {
    TempDir dir;
    const std::string folder = dir.mkdir("pages");
    PosixFileSystem files;
    const std::unique_ptr<FolderWatch> watch = files.watchFolders({folder});
    ASSERT_NE(watch, nullptr);
    dir.write("pages/a.htm", "x");
    const std::optional<std::vector<std::string>> changed = watch->changes();
    ASSERT_TRUE(changed);
    EXPECT_NE(std::find(changed->begin(), changed->end(), folder + "/a.htm"), changed->end());
    // A file with a name in a folder not watched is watched itself, to hear of a change made
    // through that name.
    const std::string outside = dir.write("elsewhere/b.htm", "x");
    std::filesystem::create_hard_link(outside, folder + "/b.htm");
    ASSERT_TRUE(watch->watchFile(folder + "/b.htm"));
    ASSERT_TRUE(watch->changes());  // the new name, in the watched folder
    dir.write("elsewhere/b.htm", "changed");
    const std::optional<std::vector<std::string>> heard = watch->changes();
    ASSERT_TRUE(heard && !heard->empty());
    EXPECT_EQ(std::count(heard->begin(), heard->end(), folder + "/b.htm"),
              static_cast<std::ptrdiff_t>(heard->size()));
    EXPECT_FALSE(watch->watchFile(dir / "missing.htm"));
    // /proc's files change with no event, as a network file system's do when the server changes
    // them: a watch that took in such a folder would vouch for what it never saw.
    EXPECT_EQ(files.watchFolders({folder, "/proc/self"}), nullptr);
}

TEST(PosixFileSystem, ExistsOnlyForRegularFiles) {
    TempDir dir;
    dir.write("f", "x");
    dir.write("empty", "");
    dir.mkdir("d");
    PosixFileSystem files;
    EXPECT_TRUE(files.fileExists(dir / "f"));
    EXPECT_TRUE(files.fileExists(dir / "empty"));
    EXPECT_FALSE(files.fileExists(dir / "d"));
    EXPECT_FALSE(files.fileExists(dir / "missing"));
    EXPECT_FALSE(files.fileExists(""));
    files.removeFile(dir / "f");
    EXPECT_FALSE(files.fileExists(dir / "f"));
    files.removeFile(dir / "f");  // nothing to delete is no failure
}

}  // namespace
}  // namespace pelmaro::platform
