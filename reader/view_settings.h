#pragma once

#include <optional>

#include "platform/settings_store.h"
#include "reader/full_text_command.h"

namespace pelmaro {

// How the window looked when it closed, kept in the settings key beside the session: "zoom", the
// page view's zoom in percent, and "listwidth", the title list's width in pixels, both 32-bit
// integers; and "resultorder", the order of full-text results (0 best first, 1 catalogue order). A
// value that is missing, of another type or out of range reads as absent: these are
// conveniences, and a bad one must never keep the reader from starting.
// "darkmode", 1 or 0, is the user's choice of a dark or a light window and pages; without it the
// reader follows the desktop's colour scheme.
struct ViewSettings {
    std::optional<int> zoomPercent;
    std::optional<int> listWidth;
    std::optional<bool> darkMode;
    std::optional<ResultOrder> resultOrder = {};
};

inline constexpr int kMinZoomPercent = 25;
inline constexpr int kMaxZoomPercent = 500;

// Reads the values; nothing when the key can't be opened.
ViewSettings readViewSettings(platform::SettingsStore& settings);
// Writes the values that are set; the store leaves values that keep their content as they were.
// Fails as the store's writes do.
void writeViewSettings(platform::SettingsStore& settings, const ViewSettings& view);

// The next zoom step from `percent` up (`larger`) or down, as browsers step: 100 -> 110 -> 125,
// 100 -> 90 -> 80. A percent between two steps goes to the nearer one in that direction; the
// ends stay where they are.
int nextZoomPercent(int percent, bool larger);

}  // namespace pelmaro
