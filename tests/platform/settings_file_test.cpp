#include "platform/settings_file.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "platform/error.h"
#include "tests/support/checks.h"
#include "tests/support/temp_dir.h"

namespace pelmaro::platform {
namespace {

using test::errorOf;
using test::inodeOf;

const std::string kKey = "[HKEY_LOCAL_MACHINE\\software\\pelmaro]";

std::string regFile(const std::string& values, const char* end = "\n") {
    return std::string("REGEDIT4") + end + end + kKey + end + values;
}

TEST(SettingsFile, FirstOpenCreatesFolderAndKeyThenValuesRoundTrip) {
    test::TempDir dir;
    const std::string name = dir / "config/pelmaro/settings.reg";
    const std::string last = "/home/me/h\xe9lp \"x\"\\y/\xff.bookmark";  // not UTF-8, with escapes
    {
        SettingsFile settings(name);
        ASSERT_TRUE(settings.openKey());
        EXPECT_EQ(test::readFile(name), "REGEDIT4\n\n" + kKey + "\n");
        EXPECT_FALSE(settings.hasValue("last"));
        settings.writeString("last", last);
        settings.writeInteger("id", -2);
        EXPECT_EQ(settings.readString("last"), last);
        EXPECT_EQ(settings.readInteger("id"), -2);
        settings.closeKey();
    }
    EXPECT_EQ(test::readFile(name),
              "REGEDIT4\n\n" + kKey +
                  "\n\"last\"=\"/home/me/h\xe9lp \\\"x\\\"\\\\y/\xff.bookmark\"\n"
                  "\"id\"=dword:fffffffe\n");

    SettingsFile again(name);
    ASSERT_TRUE(again.openKey());
    EXPECT_EQ(again.readString("last"), last);
    EXPECT_EQ(again.readInteger("id"), -2);
    again.closeKey();
}

struct ReadCase {
    const char* name;
    std::string values;  // the lines under the key
    const char* value;
    std::optional<std::string> text;  // readString's result, or
    std::optional<int> number;        // readInteger's result, or
    std::string error;                // the error of the matching read
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class SettingsFileRead : public testing::TestWithParam<ReadCase> {};

TEST_P(SettingsFileRead, GivesTheValueOrTheRegistryError) {
    const ReadCase& c = GetParam();
    test::TempDir dir;
    const std::string name = dir.write("settings.reg", regFile(c.values));
    SettingsFile settings(name);
    ASSERT_TRUE(settings.openKey());
    const bool asText = c.text.has_value() || c.value == std::string("last");
    if (c.text) {
        EXPECT_EQ(settings.readString(c.value), *c.text);
    } else if (c.number) {
        EXPECT_EQ(settings.readInteger(c.value), *c.number);
    } else {
        EXPECT_TRUE(settings.hasValue(c.value));
        EXPECT_EQ(errorOf([&] {
                      asText ? static_cast<void>(settings.readString(c.value))
                             : static_cast<void>(settings.readInteger(c.value));
                  }),
                  c.error);
    }
    settings.closeKey();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsFileRead,
    testing::Values(
        ReadCase{"Escapes", "\"last\"=\"a\\\\b\\\"c\"\n", "last", "a\\b\"c", {}, ""},
        ReadCase{"EmptyString", "\"last\"=\"\"\n", "last", "", {}, ""},
        ReadCase{"BytesNotUtf8", "\"last\"=\"\xff\xfe\xc3(\"\n", "last", "\xff\xfe\xc3(", {}, ""},
        ReadCase{"ExpandableStringNotExpanded",
                 "\"last\"=hex(2):24,48,4f,4d,45,00\n",
                 "last",
                 "$HOME",
                 {},
                 ""},
        ReadCase{"ExpandableStringTrailingNulsDropped",
                 "\"last\"=hex(2):2f,61,00,00\n",
                 "last",
                 "/a",
                 {},
                 ""},
        ReadCase{"ExpandableStringContinued",
                 "\"last\"=hex(2):2f,61,\\\n  62,00\n",
                 "last",
                 "/ab",
                 {},
                 ""},
        ReadCase{"HexStringWithLineBreak", "\"last\"=hex(1):61,0a,62,00\n", "last", "a\nb", {}, ""},
        ReadCase{"NamesIgnoreAsciiCase", "\"LAST\"=\"x\"\n", "last", "x", {}, ""},
        ReadCase{"LaterValueWins", "\"last\"=\"a\"\n\"last\"=\"b\"\n", "last", "b", {}, ""},
        ReadCase{"Dword", "\"id\"=dword:00000005\n", "id", {}, 5, ""},
        ReadCase{"DwordIsSigned", "\"id\"=dword:ffffffff\n", "id", {}, -1, ""},
        ReadCase{"DwordShortAndUpperCase", "\"id\"=DWORD:1F\n", "id", {}, 31, ""},
        ReadCase{"Hex4LittleEndian", "\"id\"=hex(4):05,01,00,00\n", "id", {}, 261, ""},
        ReadCase{"Hex4ShortIsZeroExtended", "\"id\"=hex(4):07\n", "id", {}, 7, ""},
        ReadCase{"DwordForString",
                 "\"last\"=dword:00000005\n",
                 "last",
                 {},
                 {},
                 "Invalid data type for 'last'"},
        ReadCase{"BinaryForString",
                 "\"last\"=hex:2f,00\n",
                 "last",
                 {},
                 {},
                 "Invalid data type for 'last'"},
        ReadCase{"StringForDword", "\"id\"=\"5\"\n", "id", {}, {}, "Invalid data type for 'id'"},
        ReadCase{"QwordForDword",
                 "\"id\"=hex(b):05,00,00,00,00,00,00,00\n",
                 "id",
                 {},
                 {},
                 "Invalid data type for 'id'"},
        ReadCase{"Hex4LongerThanFourBytes",
                 "\"id\"=hex(4):05,00,00,00,00\n",
                 "id",
                 {},
                 {},
                 "Failed to get data for 'id'"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsFile, DeletedOrMissingValuesAreAbsent) {
    test::TempDir dir;
    SettingsFile settings(dir.write("settings.reg", regFile("\"id\"=-\n")));
    ASSERT_TRUE(settings.openKey());
    EXPECT_FALSE(settings.hasValue("id"));
    EXPECT_FALSE(settings.hasValue("last"));
    EXPECT_EQ(settings.readString("last"), "");
    EXPECT_EQ(errorOf([&] { settings.readInteger("id"); }), "Failed to get data for 'id'");
    settings.closeKey();
}

TEST(SettingsFile, RewriteKeepsOtherKeysValuesCommentsAndCrLf) {
    test::TempDir dir;
    const std::string head =
        "REGEDIT4\r\n\r\n"
        "[HKEY_CURRENT_USER\\other]\r\n"
        "\"id\"=\"not ours\"\r\n"
        "\"blob\"=hex:01,02,\\\r\n  03\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Pelmaro]\r\n"
        "; kept\r\n";
    const std::string extra = "\"extra\"=hex(2):41,00\r\n";
    const std::string tail =
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\software\\later]\r\n"
        "@=\"default\"";  // no line end at the very end
    const std::string name =
        dir.write("settings.reg", head + "\"id\"=dword:00000001\r\n" + extra + tail);
    SettingsFile settings(name);
    ASSERT_TRUE(settings.openKey());
    EXPECT_EQ(settings.readString("extra"), "A");
    settings.writeInteger("id", 9);
    settings.writeString("last", "/x/pelmaropath.bookmark");
    settings.closeKey();
    EXPECT_EQ(test::readFile(name), head + "\"id\"=dword:00000009\r\n" + extra +
                                        "\"last\"=\"/x/pelmaropath.bookmark\"\r\n" + tail);
}

TEST(SettingsFile, MissingKeyIsAddedAtOpenAndOtherContentKept) {
    test::TempDir dir;
    const std::string name =
        dir.write("settings.reg", "REGEDIT4\n\n[HKEY_CURRENT_USER\\x]\n\"a\"=\"b\"");
    SettingsFile settings(name);
    ASSERT_TRUE(settings.openKey());
    EXPECT_EQ(test::readFile(name),
              "REGEDIT4\n\n[HKEY_CURRENT_USER\\x]\n\"a\"=\"b\"\n\n" + kKey + "\n");
    settings.writeString("last", "");
    settings.closeKey();
    EXPECT_EQ(test::readFile(name),
              "REGEDIT4\n\n[HKEY_CURRENT_USER\\x]\n\"a\"=\"b\"\n\n" + kKey + "\n\"last\"=\"\"\n");
}

TEST(SettingsFile, EmptyFileIsTakenAsNew) {
    test::TempDir dir;
    const std::string name = dir.write("settings.reg", "");
    SettingsFile settings(name);
    ASSERT_TRUE(settings.openKey());
    settings.writeInteger("id", 0);
    settings.closeKey();
    EXPECT_EQ(test::readFile(name), "REGEDIT4\n\n" + kKey + "\n\"id\"=dword:00000000\n");
}

TEST(SettingsFile, NothingChangedLeavesTheFileAlone) {
    test::TempDir dir;
    const std::string content = regFile("\"last\"=\"/a.bookmark\"\n\"id\"=dword:00000003\n");
    const std::string name = dir.write("settings.reg", content);
    const ino_t inode = inodeOf(name);
    SettingsFile settings(name);
    ASSERT_TRUE(settings.openKey());
    settings.writeString("last", "/a.bookmark");  // the same values again
    settings.writeInteger("id", 3);
    settings.closeKey();
    EXPECT_EQ(inodeOf(name), inode);
    EXPECT_EQ(test::readFile(name), content);
}

TEST(SettingsFile, StringWithLineBreakStaysOnItsLine) {
    test::TempDir dir;
    const std::string name = dir / "settings.reg";
    SettingsFile settings(name);
    ASSERT_TRUE(settings.openKey());
    settings.writeString("last", "/odd\nname\r.bookmark");
    settings.closeKey();
    EXPECT_EQ(test::readFile(name),
              regFile("\"last\"=hex(1):2f,6f,64,64,0a,6e,61,6d,65,0d,2e,62,6f,6f,6b,6d,61,72,6b,"
                      "00\n"));
    ASSERT_TRUE(settings.openKey());
    EXPECT_EQ(settings.readString("last"), "/odd\nname\r.bookmark");
    settings.closeKey();
}

TEST(SettingsFile, FileThatCantBeReadOrCreatedDoesNotOpen) {
    test::TempDir dir;
    dir.write("plain", "x");
    const std::string cases[] = {
        dir.mkdir("folder.reg"),             // a folder stands in place of the file
        dir / "plain/pelmaro/settings.reg",  // its folder can't be created
        "",
    };
    for (const auto& name : cases) {
        SCOPED_TRACE(name);
        SettingsFile settings(name);
        EXPECT_FALSE(settings.openKey());
        EXPECT_FALSE(settings.hasValue("id"));
        EXPECT_EQ(errorOf([&] { settings.writeInteger("id", 1); }), "Failed to set data for 'id'");
        settings.closeKey();
    }
}

TEST(SettingsFile, StoreProblemNamesTheFolderThatCantBeWritten) {
    test::TempDir dir;
    dir.write("plain", "x");
    EXPECT_EQ(SettingsFile(dir / "cfg/settings.reg").storeProblem(), "");
    EXPECT_EQ(SettingsFile(dir / "new/deeper/settings.reg").storeProblem(), "");
    EXPECT_EQ(SettingsFile(dir / "plain/pelmaro/settings.reg").storeProblem(),
              "Cannot store the settings in \"" + (dir / "plain") + "\". Not a directory");
    // A folder that refuses writes: read-only to a user, a read-only file system to root.
    const std::string locked = dir.mkdir("locked");
    const bool readOnly =
        ::geteuid() == 0 ? ::mount("tmpfs", locked.c_str(), "tmpfs", MS_RDONLY, "size=16k") == 0
                         : ::chmod(locked.c_str(), 0555) == 0;
    if (!readOnly) {
        GTEST_SKIP() << "no read-only folder can be made here";
    }
    const std::string problem = SettingsFile(locked + "/settings.reg").storeProblem();
    ::umount2(locked.c_str(), MNT_DETACH);
    ::chmod(locked.c_str(), 0755);
    EXPECT_EQ(problem.rfind("Cannot store the settings in \"" + locked + "\". ", 0), 0u) << problem;
}

TEST(SettingsFile, RefusedWriteAtCloseIsReported) {
    test::TempDir dir;
    const std::string folder = dir.mkdir("gone");
    SettingsFile settings(folder + "/settings.reg");
    ASSERT_TRUE(settings.openKey());
    settings.writeString("last", "/a.bookmark");
    settings.writeInteger("id", 1);
    std::filesystem::remove_all(folder);
    EXPECT_EQ(errorOf([&] { settings.closeKey(); }), "Failed to set data for 'last'");
}

TEST(SettingsFile, WritesThroughALinkToItsTarget) {
    test::TempDir dir;
    const std::string target = dir.write("dotfiles/settings.reg", regFile(""));
    const std::string link = dir.mkdir("config") + "/settings.reg";
    std::filesystem::create_symlink(target, link);
    SettingsFile settings(link);
    ASSERT_TRUE(settings.openKey());
    settings.writeInteger("id", 4);
    settings.closeKey();
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(test::readFile(target), regFile("\"id\"=dword:00000004\n"));
}

struct DamageCase {
    const char* name;
    std::string content;
    int line;
};

void PrintTo(const DamageCase& c, std::ostream* os) {
    *os << c.name;
}

class SettingsFileDamaged : public testing::TestWithParam<DamageCase> {};

TEST_P(SettingsFileDamaged, ReportedOnceWithFileAndLineAndNeverWritten) {
    test::TempDir dir;
    const std::string name = dir.write("settings.reg", GetParam().content);
    SettingsFile settings(name);
    const std::string error = errorOf([&] { settings.openKey(); });
    EXPECT_NE(error.find("\"" + name + "\""), std::string::npos) << error;
    EXPECT_NE(error.find("line " + std::to_string(GetParam().line) + ":"), std::string::npos)
        << error;
    EXPECT_FALSE(settings.openKey());  // the second time without a word
    EXPECT_THROW(settings.writeInteger("id", 1), Error);
    settings.closeKey();
    EXPECT_EQ(test::readFile(name), GetParam().content);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsFileDamaged,
    testing::Values(DamageCase{"NoHeader", "\n[x]\n", 2},
                    DamageCase{"Utf16Export", std::string("\xff\xfeW\0i\0n\0", 8), 1},
                    DamageCase{"ValueBeforeAnyKey", "REGEDIT4\n\"id\"=dword:1\n", 2},
                    DamageCase{"KeyNotClosed", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\software\n", 2},
                    DamageCase{"UnknownEscape", regFile("\"last\"=\"a\\nb\"\n"), 4},
                    DamageCase{"StringNotClosed", regFile("\"id\"=dword:1\n\"last\"=\"abc\n"), 5},
                    DamageCase{"TextAfterString", regFile("\"last\"=\"a\" b\n"), 4},
                    DamageCase{"DwordTooLong", regFile("\"id\"=dword:123456789\n"), 4},
                    DamageCase{"BadHexByte", regFile("\"last\"=hex(2):2f,zz\n"), 4},
                    DamageCase{"ContinuedPastTheEnd", regFile("\"last\"=hex(2):2f,\\\n"), 4},
                    DamageCase{"GarbageLine", regFile("last=5\n"), 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsFile, DamageRepairedDuringTheRunIsReadAgain) {
    test::TempDir dir;
    const std::string name = dir.write("settings.reg", "garbage");
    SettingsFile settings(name);
    EXPECT_THROW(settings.openKey(), Error);
    dir.write("settings.reg", regFile("\"id\"=dword:2\n"));
    ASSERT_TRUE(settings.openKey());
    EXPECT_EQ(settings.readInteger("id"), 2);
    settings.closeKey();
}

}  // namespace
}  // namespace pelmaro::platform
