#include "app/engine_flags.h"

#include <QByteArray>
#include <QtGlobal>
#include <optional>
#include <string>

#include "browsing/engine_switches.h"

namespace pelmaro::app {

namespace {

constexpr char kFlagsVariable[] = "QTWEBENGINE_CHROMIUM_FLAGS";

// The value the variable had before setEngineSwitches(); nullopt while nothing was changed.
std::optional<std::optional<QByteArray>>& savedVariable() {
    static std::optional<std::optional<QByteArray>> saved;
    return saved;
}

bool& darkPagesGiven() {
    static bool dark = false;
    return dark;
}

}  // namespace

void setEngineSwitches(bool darkPages) {
    if (savedVariable()) {
        return;
    }
    darkPagesGiven() = darkPages;
    std::optional<QByteArray> previous;
    if (qEnvironmentVariableIsSet(kFlagsVariable)) {
        previous = qgetenv(kFlagsVariable);
    }
    savedVariable() = previous;
    const std::string flags =
        browsing::engineSwitches(previous ? previous->toStdString() : std::string(), darkPages);
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

bool pagesDarkened() {
    return darkPagesGiven();
}

}  // namespace pelmaro::app
