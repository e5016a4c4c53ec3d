#include "app/engine_flags.h"

#include <QByteArray>
#include <QtGlobal>
#include <optional>

namespace pelmaro::app {

namespace {

constexpr char kFlagsVariable[] = "QTWEBENGINE_CHROMIUM_FLAGS";
constexpr char kDisableFeatures[] = "--disable-features=";
constexpr char kDisabledFeatures[] = "WebRtcHideLocalIpsWithMdns";

// The value the variable had before setEngineSwitches(); nullopt while nothing was changed.
std::optional<std::optional<QByteArray>>& savedVariable() {
    static std::optional<std::optional<QByteArray>> saved;
    return saved;
}

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

void setEngineSwitches() {
    if (savedVariable()) {
        return;
    }
    std::optional<QByteArray> previous;
    if (qEnvironmentVariableIsSet(kFlagsVariable)) {
        previous = qgetenv(kFlagsVariable);
    }
    savedVariable() = previous;
    const std::string flags = engineSwitches(previous ? previous->toStdString() : std::string());
    qputenv(kFlagsVariable, QByteArray::fromStdString(flags));
}

void restoreEngineEnvironment() {
    if (!savedVariable()) {
        return;
    }
    if (*savedVariable()) {
        qputenv(kFlagsVariable, **savedVariable());
    } else {
        qunsetenv(kFlagsVariable);
    }
    savedVariable().reset();
}

}  // namespace pelmaro::app
