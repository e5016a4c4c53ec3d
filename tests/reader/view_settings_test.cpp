#include "reader/view_settings.h"

#include <gtest/gtest.h>

#include "platform/settings_file.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

const std::string kSession =
    "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\software\\pelmaro]\r\n"
    "\"last\"=\"/h/pelmaropath.bookmark\"\r\n\"id\"=dword:00000002\r\n";

TEST(ViewSettings, RoundTripAddsTwoValuesAndKeepsTheSessionsBytes) {
    test::TempDir dir;
    test::FakeFileSystem files;
    const std::string name = dir.write("settings.reg", kSession);
    platform::SettingsFile settings(files, name);
    EXPECT_EQ(readViewSettings(settings).zoomPercent, std::nullopt);

    writeViewSettings(settings, {125, 300, std::nullopt});
    EXPECT_EQ(test::readFile(name), kSession +
                                        "\"zoom\"=dword:0000007d\r\n"
                                        "\"listwidth\"=dword:0000012c\r\n");
    const ViewSettings read = readViewSettings(settings);
    EXPECT_EQ(read.zoomPercent, 125);
    EXPECT_EQ(read.listWidth, 300);

    files.written.clear();
    writeViewSettings(settings, {125, std::nullopt, std::nullopt});
    EXPECT_TRUE(files.written.empty());  // unchanged values leave the file alone
}

TEST(ViewSettings, DarkModeIsAbsentUntilChosen_thenRoundTrips) {
    test::TempDir dir;
    test::FakeFileSystem files;
    const std::string name =
        dir.write("settings.reg", kSession + "\"darkmode\"=dword:00000002\r\n");
    platform::SettingsFile settings(files, name);
    EXPECT_EQ(readViewSettings(settings).darkMode, std::nullopt);  // out of range: follow desktop
    for (const bool dark : {true, false}) {
        writeViewSettings(settings, {std::nullopt, std::nullopt, dark});
        EXPECT_EQ(readViewSettings(settings).darkMode, dark);
    }
    EXPECT_NE(test::readFile(name).find(kSession), std::string::npos);
}

TEST(ViewSettings, TheResultOrderIsRememberedAndAnOddValueReadsAsAbsent) {
    test::TempDir dir;
    test::FakeFileSystem files;
    const std::string name = dir.write("settings.reg", kSession);
    platform::SettingsFile settings(files, name);
    EXPECT_EQ(readViewSettings(settings).resultOrder, std::nullopt);
    writeViewSettings(settings, {std::nullopt, std::nullopt, std::nullopt, ResultOrder::Catalogue});
    EXPECT_EQ(test::readFile(name), kSession + "\"resultorder\"=dword:00000001\r\n");
    EXPECT_EQ(readViewSettings(settings).resultOrder, ResultOrder::Catalogue);
    writeViewSettings(settings, {std::nullopt, std::nullopt, std::nullopt, ResultOrder::BestFirst});
    EXPECT_EQ(readViewSettings(settings).resultOrder, ResultOrder::BestFirst);

    platform::SettingsFile odd(
        files, dir.write("odd.reg", kSession + "\"resultorder\"=dword:00000002\r\n"));
    EXPECT_EQ(readViewSettings(odd).resultOrder, std::nullopt);
}

TEST(ViewSettings, ValuesOfAnotherTypeOrOutOfRangeReadAsAbsent) {
    struct Case {
        const char* values;
        std::optional<int> zoom;
        std::optional<int> width;
    };
    const Case cases[] = {
        {"\"zoom\"=\"150\"\r\n\"listwidth\"=hex:01\r\n", std::nullopt, std::nullopt},
        {"\"zoom\"=dword:00000018\r\n\"listwidth\"=dword:ffffffff\r\n", std::nullopt, std::nullopt},
        {"\"zoom\"=dword:000001f5\r\n\"listwidth\"=hex(4):00,00,00,00,00\r\n", std::nullopt,
         std::nullopt},
        {"\"zoom\"=dword:00000019\r\n\"listwidth\"=dword:00000000\r\n", 25, 0},
        {"\"ZOOM\"=dword:000001f4\r\n", 500, std::nullopt},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        test::FakeFileSystem files;
        platform::SettingsFile settings(files, dir.write("settings.reg", kSession + c.values));
        const ViewSettings read = readViewSettings(settings);
        EXPECT_EQ(read.zoomPercent, c.zoom) << c.values;
        EXPECT_EQ(read.listWidth, c.width) << c.values;
    }
}

TEST(ViewSettings, ZoomStepsLikeABrowser) {
    struct Case {
        int from;
        bool larger;
        int to;
    };
    const Case cases[] = {
        {100, true, 110}, {100, false, 90}, {110, true, 125},  {67, false, 50},    {500, true, 500},
        {25, false, 25},  {104, true, 110}, {104, false, 100}, {1000, false, 500}, {1, true, 25},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(nextZoomPercent(c.from, c.larger), c.to)
            << c.from << (c.larger ? " up" : " down");
    }
}

}  // namespace
}  // namespace pelmaro
