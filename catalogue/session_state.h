#pragma once

#include <functional>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_files.h"
#include "platform/file_system.h"
#include "platform/settings_store.h"

namespace pelmaro {

// What comes back at the next start: the current catalogue ("last") and its selected entry
// ("id").
class SessionState {
public:
    SessionState(Catalogue catalogue, CurrentCatalogue& current, platform::SettingsStore& settings,
                 platform::FileSystem& files);

    // Start-up: loads the last catalogue, selects the last entry and calls `showPage` for it.
    // Errors propagate; the caller skips the rest of start-up. Names the current catalogue
    // without switching the bookmarks: the caller loads them next.
    void restore(const std::function<void()>& showPage);
    // Shutdown: stores the selected index and the current catalogue's name.
    void save();

private:
    Catalogue catalogue_;
    CurrentCatalogue& current_;
    platform::SettingsStore& settings_;
    platform::FileSystem& files_;
};

}  // namespace pelmaro
