#include "platform/settings_file.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>

#include "platform/error.h"
#include "tests/support/checks.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace pelmaro::platform {
namespace {

using test::errorOf;

TEST(DefaultCacheFolder, IsXdgCacheHomeElseHomeDotCacheAndNeverRelative) {
    struct Case {
        std::optional<std::string> cache;
        std::optional<std::string> home;
        std::string folder;
    };
    const Case cases[] = {
        {"/var/cache/me", "/home/me", "/var/cache/me/pelmaro"},
        {"relative", "/home/me", "/home/me/.cache/pelmaro"},
        {std::nullopt, "/home/me/", "/home/me/.cache/pelmaro"},
        {std::nullopt, std::nullopt, ""},
    };
    for (const Case& c : cases) {
        const test::ScopedEnv cache("XDG_CACHE_HOME", c.cache);
        const test::ScopedEnv home("HOME", c.home);
        EXPECT_EQ(defaultCacheFolder(), c.folder) << c.cache.value_or("(unset)");
    }
}

const char* const kRelativeName = "config/pelmaro/settings.reg";
const std::string kEmptyKey = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\software\\pelmaro]\n";

class SettingsFileTest : public testing::Test {
protected:
    test::TempDir dir;
    test::FakeFileSystem files;
    const std::string name = dir / kRelativeName;
};

TEST_F(SettingsFileTest, FirstOpenCreatesFolderAndKey_valuesLastTillTheNextOpen) {
    SettingsFile settings(files, name);
    ASSERT_NO_THROW(settings.openKey());
    EXPECT_EQ(test::readFile(name), kEmptyKey);
    settings.writeString("last", "/a.bookmark");
    settings.writeInteger("id", 2);
    settings.closeKey();

    SettingsFile again(files, name);
    ASSERT_NO_THROW(again.openKey());
    EXPECT_EQ(again.readString("last"), "/a.bookmark");
    EXPECT_EQ(again.readInteger("id"), 2);
    again.closeKey();
}

TEST_F(SettingsFileTest, NothingChanged_fileNotWritten) {
    dir.write(kRelativeName, kEmptyKey + "\"id\"=dword:00000003\n");
    SettingsFile settings(files, name);
    ASSERT_NO_THROW(settings.openKey());
    settings.writeInteger("id", 3);
    settings.closeKey();
    EXPECT_TRUE(files.written.empty());
}

TEST_F(SettingsFileTest, RefusedWriteAtClose_failsNamingTheFirstValueChangedAndKeepsTheFile) {
    dir.write(kRelativeName, kEmptyKey);
    SettingsFile settings(files, name);
    ASSERT_NO_THROW(settings.openKey());
    settings.writeString("last", "/a.bookmark");
    settings.writeInteger("id", 1);
    files.failingWrites.insert(name);
    EXPECT_EQ(errorOf([&] { settings.closeKey(); }), "Failed to set data for 'last'");
    EXPECT_EQ(test::readFile(name), kEmptyKey);
}

TEST(SettingsFile, FileThatCantBeReadOrCreated_keyDoesNotOpenAndWritesFail) {
    using SetUp = std::function<void(const test::TempDir&, test::FakeFileSystem&)>;
    const std::pair<const char*, SetUp> cases[] = {
        {"read fails",
         [](const auto& dir, auto& files) {
             files.failingReads.insert(dir.write(kRelativeName, kEmptyKey));
         }},
        {"locked", [](const auto& dir,
                      auto& files) { files.locked.insert(dir.write(kRelativeName, kEmptyKey)); }},
        {"create refused",
         [](const auto& dir, auto& files) { files.failingWrites.insert(dir / kRelativeName); }},
        {"folder can't be made",
         [](const auto& dir, auto& files) { files.failingWrites.insert(dir / "config/pelmaro"); }},
    };
    for (const auto& [what, setUp] : cases) {
        SCOPED_TRACE(what);
        test::TempDir dir;
        test::FakeFileSystem files;
        setUp(dir, files);
        SettingsFile settings(files, dir / kRelativeName);
        // The file system's reason goes with it: "Cannot create file "...". Permission denied".
        EXPECT_TRUE(errorOf([&] { settings.openKey(); }).starts_with("Cannot ")) << what;
        EXPECT_THROW(settings.openKey(), SettingsUnavailable);
        EXPECT_FALSE(settings.hasValue("id"));
        EXPECT_EQ(errorOf([&] { settings.writeInteger("id", 1); }), "Failed to set data for 'id'");
        EXPECT_EQ(errorOf([&] { settings.closeKey(); }), "(no error)");
        EXPECT_TRUE(files.written.empty());
    }
}

TEST_F(SettingsFileTest, DamagedFile_reportedOnceNeverWrittenAndReadAgainOnceRepaired) {
    dir.write(kRelativeName, "garbage\n");
    SettingsFile settings(files, name);
    EXPECT_EQ(errorOf([&] { settings.openKey(); }),
              "The settings file \"" + name +
                  "\" is damaged at line 1: it does not start with \"REGEDIT4\". It is left as it "
                  "is, and no settings are read or stored until it is repaired or removed");
    EXPECT_THROW(settings.openKey(), SettingsUnavailable);
    EXPECT_THROW(settings.writeInteger("id", 1), Error);
    settings.closeKey();
    EXPECT_TRUE(files.written.empty());

    dir.write(kRelativeName, kEmptyKey + "\"id\"=dword:2\n");
    ASSERT_NO_THROW(settings.openKey());
    EXPECT_EQ(settings.readInteger("id"), 2);
    settings.closeKey();
}

TEST_F(SettingsFileTest, StoreProblem_namesTheFolderThatCantBeWritten) {
    dir.write("plain", "x");
    EXPECT_EQ(SettingsFile(files, dir / "cfg/settings.reg").storeProblem(), "");
    EXPECT_EQ(SettingsFile(files, dir / "new/deeper/settings.reg").storeProblem(), "");
    EXPECT_EQ(SettingsFile(files, dir / "plain/pelmaro/settings.reg").storeProblem(),
              "Cannot store the settings in \"" + (dir / "plain/pelmaro") +
                  "\": it can't be created in \"" + (dir / "plain") + "\". Not a directory");
    // A folder that refuses writes: read-only to a user, a read-only file system to root.
    const std::string locked = dir.mkdir("locked");
    const bool readOnly =
        ::geteuid() == 0 ? ::mount("tmpfs", locked.c_str(), "tmpfs", MS_RDONLY, "size=16k") == 0
                         : ::chmod(locked.c_str(), 0555) == 0;
    if (!readOnly) {
        GTEST_SKIP() << "no read-only folder can be made here";
    }
    const std::string problem = SettingsFile(files, locked + "/settings.reg").storeProblem();
    ::umount2(locked.c_str(), MNT_DETACH);
    ::chmod(locked.c_str(), 0755);
    EXPECT_EQ(problem.rfind("Cannot store the settings in \"" + locked + "\". ", 0), 0u) << problem;
}

}  // namespace
}  // namespace pelmaro::platform
