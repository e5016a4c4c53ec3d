#pragma once

#include <functional>
#include <string>

#include "platform/list_control.h"

namespace pelmaro {

// The catalogue as the window holds it: entry i is (titles[i], paths[i]). The two lists are the
// window's title list and its hidden path list; there is no other copy.
struct Catalogue {
    platform::ListControl& titles;
    platform::ListControl& paths;
};

// Which stored catalogue is current, named by the full file name of its ".bookmark" file
// ("/home/me/help/pelmaropath.bookmark"); empty when none is.
class CurrentCatalogue {
public:
    const std::string& bookmarkFile() const { return bookmarkFile_; }
    // False while the lists show a built catalogue that was not saved: its indexes mean nothing in
    // the stored catalogue that bookmarkFile() still names, so nothing may be stored under that
    // name for it.
    bool shownIsStored() const { return shownIsStored_; }

    // Start-up names the catalogue of the last run; the bookmarks are loaded afterwards.
    void restore(std::string bookmarkFile) {
        bookmarkFile_ = std::move(bookmarkFile);
        shownIsStored_ = true;
    }
    // Another stored catalogue became current (a build saved, a catalogue opened): the bookmarks
    // follow it through `onSwitch`.
    void switchTo(std::string bookmarkFile) {
        restore(std::move(bookmarkFile));
        if (onSwitch_) {
            onSwitch_();
        }
    }
    // The lists now show a built catalogue that no file holds.
    void showUnsaved() { shownIsStored_ = false; }
    void setOnSwitch(std::function<void()> onSwitch) { onSwitch_ = std::move(onSwitch); }

private:
    std::string bookmarkFile_;
    bool shownIsStored_ = true;
    std::function<void()> onSwitch_;
};

// The fixed base name of the catalogue files a build stores in the scanned folder.
inline constexpr const char* kCatalogueBaseName = "pelmaropath";

}  // namespace pelmaro
