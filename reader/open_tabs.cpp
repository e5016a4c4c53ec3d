#include "reader/open_tabs.h"

#include <algorithm>
#include <exception>
#include <optional>

namespace pelmaro {
namespace {

constexpr const char* kCount = "tabs";
constexpr const char* kCurrent = "tab";

std::string fileValue(int tab) {
    return "tab" + std::to_string(tab + 1);
}

std::string scrollValue(int tab) {
    return "tabscroll" + std::to_string(tab + 1);
}

// A value that is missing or of another type reads as absent: the tabs are a convenience, and a
// damaged one must never keep the reader from starting.
std::optional<std::int32_t> readInteger(const platform::SettingsStore& settings,
                                        const std::string& name) {
    if (!settings.hasValue(name)) {
        return std::nullopt;
    }
    try {
        return settings.readInteger(name);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<std::string> readString(const platform::SettingsStore& settings,
                                      const std::string& name) {
    if (!settings.hasValue(name)) {
        return std::nullopt;
    }
    try {
        return settings.readString(name);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace

OpenTabs readOpenTabs(platform::SettingsStore& settings) {
    OpenTabs open;
    platform::withKeyOpen(settings, [&] {
        const int count = std::clamp(readInteger(settings, kCount).value_or(0), 0, kMostKeptTabs);
        int current = readInteger(settings, kCurrent).value_or(0);
        for (int tab = 0; tab < count; ++tab) {
            const std::optional<std::string> file = readString(settings, fileValue(tab));
            if (!file || file->empty() || file->front() != '/') {
                if (tab < current) {
                    --current;  // the current one moves up with the tabs after the dropped one
                }
                continue;
            }
            open.tabs.push_back(
                {*file, std::max(readInteger(settings, scrollValue(tab)).value_or(0), 0)});
        }
        open.current = current >= 0 && current < static_cast<int>(open.tabs.size()) ? current : 0;
    });
    return open;
}

void writeOpenTabs(platform::SettingsStore& settings, const OpenTabs& open) {
    platform::withKeyOpen(settings, [&] {
        const int count = std::min(static_cast<int>(open.tabs.size()), kMostKeptTabs);
        settings.writeInteger(kCount, count);
        settings.writeInteger(kCurrent, open.current < count ? open.current : 0);
        for (int tab = 0; tab < count; ++tab) {
            settings.writeString(fileValue(tab), open.tabs[static_cast<std::size_t>(tab)].fileName);
            settings.writeInteger(scrollValue(tab),
                                  open.tabs[static_cast<std::size_t>(tab)].scrollY);
        }
    });
}

}  // namespace pelmaro
