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

}  // namespace

void setEngineSwitches() {
    if (savedVariable()) {
        return;
    }
    std::optional<QByteArray> previous;
    if (qEnvironmentVariableIsSet(kFlagsVariable)) {
        previous = qgetenv(kFlagsVariable);
    }
    savedVariable() = previous;
    const std::string flags =
        browsing::engineSwitches(previous ? previous->toStdString() : std::string());
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
