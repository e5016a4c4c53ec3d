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
    // Shutdown: stores the selected index, the current catalogue's name and the recent ones.
    void save();

    // The catalogues opened last, the newest first, by their bookmark files' names (as "last"
    // names them): at most kMostRecent, read by restore() and stored by save() as "recent1",
    // "recent2" and so on.
    static constexpr std::size_t kMostRecent = 10;
    const std::vector<std::string>& recent() const { return recent_; }
    // The current catalogue, when it is stored, becomes the newest.
    void rememberCurrent();
    void forget(const std::string& name);

private:
    Catalogue catalogue_;
    CurrentCatalogue& current_;
    platform::SettingsStore& settings_;
    platform::FileSystem& files_;
    std::vector<std::string> recent_;
    std::size_t recentStored_ = 0;  // how many "recent" values the settings held
};

}  // namespace pelmaro
