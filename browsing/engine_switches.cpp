#include "browsing/engine_switches.h"

namespace pelmaro::browsing {

namespace {

constexpr char kDisableFeatures[] = "--disable-features=";
constexpr char kDisabledFeatures[] = "WebRtcHideLocalIpsWithMdns";

}  // namespace

std::string engineSwitches(const std::string& userFlags) {
    std::string flags = userFlags;
    // The engine keeps only the last --disable-features; ours join the user's list.
    const std::size_t features = flags.find(kDisableFeatures);
    if (features != std::string::npos) {
        const std::size_t end = flags.find(' ', features);
        flags.insert(end == std::string::npos ? flags.size() : end,
                     std::string(",") + kDisabledFeatures);
    }
    if (!flags.empty()) {
        flags += ' ';
    }
    flags +=
        "--force-webrtc-ip-handling-policy=disable_non_proxied_udp"
        " \"--host-resolver-rules=MAP * ~NOTFOUND\""
        " --no-pings";
    if (features == std::string::npos) {
        flags += std::string(" ") + kDisableFeatures + kDisabledFeatures;
    }
    return flags;
}

}  // namespace pelmaro::browsing
