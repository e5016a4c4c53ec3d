#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/settings_store.h"

namespace pelmaro {

// One tab of the page view as it is kept between runs: the file its page shows and how far down
// it was scrolled (in the page's pixels).
struct OpenTab {
    std::string fileName;
    std::int32_t scrollY = 0;

    bool operator==(const OpenTab&) const = default;
};

// The page view's tabs, kept in the settings key beside the session as values of their own:
// "tabs", their number; "tab1".."tabN", each one's file (a string of bytes);
// "tabscroll1".."tabscrollN", its scroll position; "tab", the number of the current one. "last" and
// "id" are left as they are.
struct OpenTabs {
    std::vector<OpenTab> tabs;
    int current = 0;  // an index into `tabs`

    bool operator==(const OpenTabs&) const = default;
};

// The most tabs kept: beyond it a damaged "tabs" value would have the reader read thousands.
inline constexpr int kMostKeptTabs = 100;

// Reads the tabs; none when the key can't be opened or holds none. A tab whose file is missing or
// not a full file name is dropped; a scroll position that is missing or wrong reads as 0, a
// current tab out of range as the first.
OpenTabs readOpenTabs(platform::SettingsStore& settings);
// Writes the tabs (at most kMostKeptTabs). Fails as the store's writes do.
void writeOpenTabs(platform::SettingsStore& settings, const OpenTabs& tabs);

}  // namespace pelmaro
