#include "reader/view_settings.h"

#include <algorithm>
#include <array>
#include <exception>

namespace pelmaro {
namespace {

constexpr const char* kZoom = "zoom";
constexpr const char* kListWidth = "listwidth";
constexpr const char* kDarkMode = "darkmode";
constexpr const char* kResultOrder = "resultorder";
// Wider than any screen; a larger value is a damaged file, not a wish.
constexpr int kMaxListWidth = 100000;

constexpr std::array kZoomSteps = {25,  33,  50,  67,  75,  80,  90,  100, 110,
                                   125, 150, 175, 200, 250, 300, 400, 500};
static_assert(kZoomSteps.front() == kMinZoomPercent && kZoomSteps.back() == kMaxZoomPercent);

std::optional<int> readInRange(const platform::SettingsStore& settings, const char* name,
                               int lowest, int highest) {
    if (!settings.hasValue(name)) {
        return std::nullopt;
    }
    try {
        const int value = settings.readInteger(name);
        if (value >= lowest && value <= highest) {
            return value;
        }
    } catch (const std::exception&) {
        // another type, or longer than 4 bytes: as if missing
    }
    return std::nullopt;
}

}  // namespace

ViewSettings readViewSettings(platform::SettingsStore& settings) {
    ViewSettings view;
    platform::withKeyOpen(settings, [&] {
        view.zoomPercent = readInRange(settings, kZoom, kMinZoomPercent, kMaxZoomPercent);
        view.listWidth = readInRange(settings, kListWidth, 0, kMaxListWidth);
        if (const std::optional<int> dark = readInRange(settings, kDarkMode, 0, 1)) {
            view.darkMode = *dark == 1;
        }
        if (const auto order = readInRange(settings, kResultOrder, 0, 1)) {
            view.resultOrder = *order == 0 ? ResultOrder::BestFirst : ResultOrder::Catalogue;
        }
    });
    return view;
}

void writeViewSettings(platform::SettingsStore& settings, const ViewSettings& view) {
    platform::withKeyOpen(settings, [&] {
        if (view.zoomPercent) {
            settings.writeInteger(kZoom, *view.zoomPercent);
        }
        if (view.listWidth) {
            settings.writeInteger(kListWidth, *view.listWidth);
        }
        if (view.darkMode) {
            settings.writeInteger(kDarkMode, *view.darkMode ? 1 : 0);
        }
        if (view.resultOrder) {
            settings.writeInteger(kResultOrder,
                                  *view.resultOrder == ResultOrder::BestFirst ? 0 : 1);
        }
    });
}

int nextZoomPercent(int percent, bool larger) {
    if (larger) {
        const auto next = std::upper_bound(kZoomSteps.begin(), kZoomSteps.end(), percent);
        return next == kZoomSteps.end() ? kZoomSteps.back() : *next;
    }
    const auto next = std::lower_bound(kZoomSteps.begin(), kZoomSteps.end(), percent);
    return next == kZoomSteps.begin() ? kZoomSteps.front() : *(next - 1);
}

}  // namespace pelmaro
