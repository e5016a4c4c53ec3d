#include "platform/settings_document.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <variant>
#include <vector>

#include "platform/error.h"

namespace pelmaro::platform {
namespace {

const std::string kKey = "[HKEY_LOCAL_MACHINE\\software\\pelmaro]";

std::string regFile(const std::string& values) {
    return "REGEDIT4\n\n" + kKey + "\n" + values;
}

struct ReadCase {
    const char* name;
    std::string line;  // the line under the key
    const char* value;
    std::string read;  // what reading `value` gives: text, number or error message
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class SettingsRead : public testing::TestWithParam<ReadCase> {};

TEST_P(SettingsRead, GivesTheValueOrTheRegistryError) {
    const ReadCase& c = GetParam();
    const SettingsDocument settings = parseSettings(regFile(c.line + "\n"));
    std::string read;
    try {
        read = c.value == std::string("id") ? std::to_string(settings.readInteger(c.value))
                                            : settings.readString(c.value);
    } catch (const Error& e) {
        read = e.what();
    }
    EXPECT_EQ(read, c.read);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsRead,
    testing::Values(
        ReadCase{"Escapes", "\"last\"=\"a\\\\b\\\"c\"", "last", "a\\b\"c"},
        ReadCase{"BytesNotUtf8", "\"last\"=\"\xff\xfe\xc3(\"", "last", "\xff\xfe\xc3("},
        ReadCase{"ExpandableNotExpanded", "\"last\"=hex(2):24,48,4f,4d,45,00", "last", "$HOME"},
        ReadCase{"ExpandableTrailingNulsDropped", "\"last\"=hex(2):2f,61,00,00", "last", "/a"},
        ReadCase{"ExpandableContinued", "\"last\"=hex(2):2f,61,\\\n  62,00", "last", "/ab"},
        ReadCase{"HexStringWithLineBreak", "\"last\"=hex(1):61,0a,62,00", "last", "a\nb"},
        ReadCase{"NamesIgnoreAsciiCase", "\"LAST\"=\"x\"", "last", "x"},
        ReadCase{"LaterValueWins", "\"last\"=\"a\"\n\"last\"=\"b\"", "last", "b"},
        ReadCase{"MissingStringIsEmpty", "", "last", ""},
        ReadCase{"Dword", "\"id\"=dword:00000005", "id", "5"},
        ReadCase{"DwordIsSigned", "\"id\"=dword:ffffffff", "id", "-1"},
        ReadCase{"DwordShortAndUpperCase", "\"id\"=DWORD:1F", "id", "31"},
        ReadCase{"Hex4LittleEndian", "\"id\"=hex(4):05,01,00,00", "id", "261"},
        ReadCase{"Hex4ShortIsZeroExtended", "\"id\"=hex(4):07", "id", "7"},
        ReadCase{"DwordForString", "\"last\"=dword:5", "last", "Invalid data type for 'last'"},
        ReadCase{"BinaryForString", "\"last\"=hex:2f,00", "last", "Invalid data type for 'last'"},
        ReadCase{"StringForDword", "\"id\"=\"5\"", "id", "Invalid data type for 'id'"},
        ReadCase{"QwordForDword", "\"id\"=hex(b):05,00,00,00,00,00,00,00", "id",
                 "Invalid data type for 'id'"},
        ReadCase{"Hex4LongerThanFourBytes", "\"id\"=hex(4):05,00,00,00,00", "id",
                 "Failed to get data for 'id'"},
        ReadCase{"MissingDword", "", "id", "Failed to get data for 'id'"},
        ReadCase{"DeletedDword", "\"id\"=dword:1\n\"id\"=-", "id", "Failed to get data for 'id'"}),
    [](const auto& info) { return std::string(info.param.name); });

using Written = std::variant<std::string, std::int32_t>;

struct ComposeCase {
    const char* name;
    std::string before;
    std::vector<std::pair<std::string, Written>> writes;
    std::string after;
    std::optional<std::string> firstChanged;
};

void PrintTo(const ComposeCase& c, std::ostream* os) {
    *os << c.name;
}

class SettingsCompose : public testing::TestWithParam<ComposeCase> {};

TEST_P(SettingsCompose, ChangesOnlyTheValuesWrittenAndReadsThemBack) {
    const ComposeCase& c = GetParam();
    SettingsDocument settings = parseSettings(c.before);
    for (const auto& [name, value] : c.writes) {
        if (const auto* text = std::get_if<std::string>(&value)) {
            settings.writeString(name, *text);
        } else {
            settings.writeInteger(name, std::get<std::int32_t>(value));
        }
    }
    EXPECT_EQ(settings.firstChanged(), c.firstChanged);
    const std::string composed = composeSettings(settings);
    EXPECT_EQ(composed, c.after);

    const SettingsDocument again = parseSettings(composed);
    EXPECT_FALSE(again.keyAdded());
    EXPECT_EQ(composeSettings(again), composed);
    for (const auto& [name, value] : c.writes) {
        if (const auto* text = std::get_if<std::string>(&value)) {
            EXPECT_EQ(again.readString(name), *text);
        } else {
            EXPECT_EQ(again.readInteger(name), std::get<std::int32_t>(value));
        }
    }
}

const std::string kCrLfHead =
    "REGEDIT4\r\n\r\n"
    "[HKEY_CURRENT_USER\\other]\r\n"
    "\"id\"=\"not ours\"\r\n"
    "\"blob\"=hex:01,02,\\\r\n  03\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Pelmaro]\r\n"
    "; kept\r\n";
const std::string kCrLfExtra = "\"extra\"=hex(2):41,00\r\n";
const std::string kCrLfTail =
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\software\\later]\r\n"
    "@=\"default\"";  // no line end at the very end

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsCompose,
    testing::Values(
        ComposeCase{"NewFileWithEscapesAndBytesNotUtf8",
                    "",
                    {{"last", std::string("/home/me/h\xe9lp \"x\"\\y/\xff.bookmark")}, {"id", -2}},
                    regFile("\"last\"=\"/home/me/h\xe9lp \\\"x\\\"\\\\y/\xff.bookmark\"\n"
                            "\"id\"=dword:fffffffe\n"),
                    "last"},
        ComposeCase{"OtherKeysValuesCommentsAndCrLfKept",
                    kCrLfHead + "\"id\"=dword:00000001\r\n" + kCrLfExtra + kCrLfTail,
                    {{"id", 9}, {"last", std::string("/x/pelmaropath.bookmark")}},
                    kCrLfHead + "\"id\"=dword:00000009\r\n" + kCrLfExtra +
                        "\"last\"=\"/x/pelmaropath.bookmark\"\r\n" + kCrLfTail,
                    "id"},
        ComposeCase{
            "MissingKeyAppendedAfterOtherContent",
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\x]\n\"a\"=\"b\"",
            {{"last", std::string()}},
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\x]\n\"a\"=\"b\"\n\n" + kKey + "\n\"last\"=\"\"\n",
            "last"},
        ComposeCase{"StringWithLineBreakStaysOnItsLine",
                    "",
                    {{"last", std::string("/odd\nname\r.bookmark")}},
                    regFile("\"last\"=hex(1):2f,6f,64,64,0a,6e,61,6d,65,0d,2e,62,6f,6f,6b,6d,61,72,"
                            "6b,00\n"),
                    "last"},
        ComposeCase{"ContinuedValueReplacedInPlaceUnderTheWritersName",
                    regFile("\"LAST\"=hex(2):2f,\\\n  61,00\n\"id\"=dword:1\n"),
                    {{"last", std::string("/b")}},
                    regFile("\"last\"=\"/b\"\n\"id\"=dword:1\n"),
                    "last"},
        ComposeCase{"SameValuesChangeNothing",
                    regFile("\"last\"=\"/a.bookmark\"\n\"id\"=DWORD:3\n"),
                    {{"last", std::string("/a.bookmark")}, {"id", 3}},
                    regFile("\"last\"=\"/a.bookmark\"\n\"id\"=DWORD:3\n"),
                    std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

struct DamageCase {
    const char* name;
    std::string content;
    std::size_t line;
};

void PrintTo(const DamageCase& c, std::ostream* os) {
    *os << c.name;
}

class SettingsDamaged : public testing::TestWithParam<DamageCase> {};

TEST_P(SettingsDamaged, NamesTheLine) {
    try {
        parseSettings(GetParam().content);
        ADD_FAILURE() << "parsed";
    } catch (const SettingsDamage& damage) {
        EXPECT_EQ(damage.line(), GetParam().line) << damage.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsDamaged,
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

}  // namespace
}  // namespace pelmaro::platform
