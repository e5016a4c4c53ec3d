#include "browsing/engine_switches.h"

#include <gtest/gtest.h>

namespace pelmaro::browsing {
namespace {

TEST(EngineSwitches, JoinTheUsersFlags_andKeepOneFeatureList) {
    const struct {
        const char* user;
        const char* expectedStart;
    } cases[] = {
        {"", "--force-webrtc"},
        {"--enable-logging", "--enable-logging --force-webrtc"},
        {"--disable-features=Foo --x",
         "--disable-features=Foo,WebRtcHideLocalIpsWithMdns --x --force-webrtc"},
        {"--x --disable-features=Foo", "--x --disable-features=Foo,WebRtcHideLocalIpsWithMdns "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.user);
        const std::string flags = engineSwitches(c.user);
        EXPECT_EQ(flags.substr(0, std::string(c.expectedStart).size()), c.expectedStart);
        for (const char* wanted : {"--force-webrtc-ip-handling-policy=disable_non_proxied_udp",
                                   "\"--host-resolver-rules=MAP * ~NOTFOUND\"", "--no-pings",
                                   "WebRtcHideLocalIpsWithMdns"}) {
            EXPECT_NE(flags.find(wanted), std::string::npos) << wanted;
        }
        // The engine reads only the last list of disabled features.
        EXPECT_EQ(flags.find("--disable-features"), flags.rfind("--disable-features"));
    }
}

TEST(EngineSwitches, DarkPages_joinTheUsersListsAndLeaveImagesAlone) {
    const struct {
        const char* user;
        const char* images;    // the one list of dark-mode settings expected
        const char* settings;  // the one list of page settings expected
    } cases[] = {
        {"", "--dark-mode-settings=ImagePolicy=1", "--blink-settings=forceDarkModeEnabled=true"},
        {"--dark-mode-settings=ContrastPercent=5 --blink-settings=a=1",
         "--dark-mode-settings=ContrastPercent=5,ImagePolicy=1",
         "--blink-settings=a=1,forceDarkModeEnabled=true"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.user);
        const std::string flags = engineSwitches(c.user, true);
        for (const char* name :
             {"--dark-mode-settings", "--blink-settings", "--disable-features"}) {
            EXPECT_EQ(flags.find(name), flags.rfind(name)) << name;
        }
        EXPECT_NE(flags.find(c.images), std::string::npos) << flags;
        EXPECT_NE(flags.find(c.settings), std::string::npos) << flags;
    }
    EXPECT_EQ(engineSwitches("", false).find("Dark"), std::string::npos);
}

}  // namespace
}  // namespace pelmaro::browsing
