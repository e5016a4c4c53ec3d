#pragma once

#include <functional>
#include <string>

#include "catalogue/catalogue.h"
#include "platform/file_system.h"
#include "platform/settings_store.h"
#include "platform/window.h"

namespace pelmaro {

// What comes back at the next start: the current catalogue ("last") and its selected entry
// ("id"), and the Open command (F9) that makes any stored catalogue current.
class SessionState {
public:
    SessionState(Catalogue catalogue, CurrentCatalogue& current, platform::SettingsStore& settings,
                 platform::Dialogs& dialogs, platform::FileSystem& files,
                 platform::LongCommandGate& gate);

    // Start-up: loads the last catalogue, selects the last entry and calls `showPage` for it.
    // Errors propagate; the caller skips the rest of start-up. Sets BookmarkFileName without
    // running `switched`: the caller loads the bookmarks next.
    void restore(const std::function<void()>& showPage);
    // Shutdown: stores the selected index and the current catalogue's name.
    void save();
    // Open (F9): asks for a stored ".path" file and makes its catalogue current. Selects no entry
    // and shows no page. Does nothing while another long command runs.
    void Open1Click();

private:
    // Reads both files before touching the lists, so that a failure leaves the catalogue as it
    // was: never the titles of one catalogue beside the paths of another.
    void replaceCatalogue(const std::string& titleFile, const std::string& pathFile);

    Catalogue catalogue_;
    CurrentCatalogue& current_;
    platform::SettingsStore& settings_;
    platform::Dialogs& dialogs_;
    platform::FileSystem& files_;
    platform::LongCommandGate& gate_;
};

}  // namespace pelmaro
