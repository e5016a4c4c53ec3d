#include "browsing/engine_switches.h"

namespace pelmaro::browsing {

namespace {

constexpr char kDisableFeatures[] = "--disable-features=";
constexpr char kBlinkSettings[] = "--blink-settings=";
constexpr char kDarkModeSettings[] = "--dark-mode-settings=";
constexpr char kDisabledFeatures[] = "WebRtcHideLocalIpsWithMdns";
constexpr char kDarkPagesSetting[] = "forceDarkModeEnabled=true";
// Images left as they are (1, "filter none"). Without it the engine inverts those it takes for
// icons, which turns diagrams and screenshots with a white background into negatives. (The
// engine's feature parameter "WebContentsForceDark:image_behavior/none" is not heard by this
// engine's pages.)
constexpr char kDarkPagesImages[] = "ImagePolicy=1";

// Adds `item` to the comma-separated list of the switch `name` in `flags`, or the switch with
// that one item at the end: the engine keeps only the last of each of these switches, so ours
// join the user's. Returns whether the user's switch was there.
void joinList(std::string& flags, const char* name, const char* item) {
    const std::size_t found = flags.find(name);
    if (found == std::string::npos) {
        flags += std::string(" ") + name + item;
        return;
    }
    const std::size_t end = flags.find(' ', found);
    flags.insert(end == std::string::npos ? flags.size() : end, std::string(",") + item);
}

}  // namespace

std::string engineSwitches(const std::string& userFlags, bool darkPages) {
    std::string flags = userFlags;
    // Ours go after the user's, the lists into theirs: kept apart here so that the order of a
    // list joined in place doesn't depend on where it stood.
    if (!flags.empty()) {
        flags += ' ';
    }
    flags +=
        "--force-webrtc-ip-handling-policy=disable_non_proxied_udp"
        " \"--host-resolver-rules=MAP * ~NOTFOUND\""
        " --no-pings";
    joinList(flags, kDisableFeatures, kDisabledFeatures);
    if (darkPages) {
        joinList(flags, kBlinkSettings, kDarkPagesSetting);
        joinList(flags, kDarkModeSettings, kDarkPagesImages);
    }
    return flags;
}

}  // namespace pelmaro::browsing
