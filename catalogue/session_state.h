#pragma once

#include <functional>

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
    // Errors propagate; the caller skips the rest of start-up.
    void restore(const std::function<void()>& showPage);
    // Shutdown: stores the selected index and the current catalogue's name.
    void save();
    void Open1Click();

private:
    Catalogue catalogue_;
    CurrentCatalogue& current_;
    platform::SettingsStore& settings_;
    platform::Dialogs& dialogs_;
    platform::FileSystem& files_;
    platform::LongCommandGate& gate_;
};

}  // namespace pelmaro
