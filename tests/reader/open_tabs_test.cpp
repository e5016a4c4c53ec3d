#include "reader/open_tabs.h"

#include <gtest/gtest.h>

#include "platform/settings_file.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

const std::string kSession =
    "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\software\\pelmaro]\r\n"
    "\"last\"=\"/h/pelmaropath.bookmark\"\r\n\"id\"=dword:00000002\r\n";

TEST(OpenTabs, RoundTripKeepsTheSessionsBytes_andOddFileNames) {
    test::TempDir dir;
    test::FakeFileSystem files;
    const std::string name = dir.write("settings.reg", kSession);
    platform::SettingsFile settings(files, name);
    EXPECT_EQ(readOpenTabs(settings), OpenTabs{});

    const OpenTabs open{
        {{"/h/a.htm", 0}, {"/h/line\nbreak \"q\" \\.htm", 1200}, {"/h/\xff.htm", 7}}, 2};
    writeOpenTabs(settings, open);
    EXPECT_EQ(readOpenTabs(settings), open);
    EXPECT_EQ(test::readFile(name).substr(0, kSession.size()), kSession);

    // Fewer tabs later: the count says which values mean something.
    writeOpenTabs(settings, {{{"/h/b.htm", 5}}, 0});
    EXPECT_EQ(readOpenTabs(settings), (OpenTabs{{{"/h/b.htm", 5}}, 0}));
}

TEST(OpenTabs, DamagedValuesDropTheirTabOrReadAsDefaults) {
    struct Case {
        const char* values;
        OpenTabs expected;
    };
    const Case cases[] = {
        // A tab without a file, or not a full name, goes; the current one stays the same tab.
        {"\"tabs\"=dword:00000003\r\n\"tab1\"=\"relative.htm\"\r\n\"tab3\"=\"/c.htm\"\r\n"
         "\"tab\"=dword:00000002\r\n",
         {{{"/c.htm", 0}}, 0}},
        // Wrong types and ranges: scroll 0, current the first.
        {"\"tabs\"=dword:00000002\r\n\"tab1\"=\"/a.htm\"\r\n\"tabscroll1\"=\"12\"\r\n"
         "\"tab2\"=\"/b.htm\"\r\n\"tabscroll2\"=dword:ffffffff\r\n\"tab\"=dword:00000009\r\n",
         {{{"/a.htm", 0}, {"/b.htm", 0}}, 0}},
        // A count past the most kept, or negative.
        {"\"tabs\"=dword:ffffffff\r\n\"tab1\"=\"/a.htm\"\r\n", {}},
        {"\"tabs\"=\"1\"\r\n\"tab1\"=\"/a.htm\"\r\n", {}},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        test::FakeFileSystem files;
        platform::SettingsFile settings(files, dir.write("settings.reg", kSession + c.values));
        EXPECT_EQ(readOpenTabs(settings), c.expected) << c.values;
    }
}

}  // namespace
}  // namespace pelmaro
