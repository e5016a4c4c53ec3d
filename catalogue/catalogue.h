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
struct CurrentCatalogue {
    std::string BookmarkFileName;
    // False while the lists show a built catalogue that was not saved: its indexes mean nothing in
    // the stored catalogue that BookmarkFileName still names, so nothing may be stored under that
    // name for it.
    bool shownIsStored = true;
    // Runs right after BookmarkFileName has been set to another stored catalogue (a build saved,
    // a catalogue opened), so that the bookmarks can follow it.
    std::function<void()> switched;

    void switchTo(std::string bookmarkFileName) {
        BookmarkFileName = std::move(bookmarkFileName);
        shownIsStored = true;
        if (switched) {
            switched();
        }
    }
};

// The fixed base name of the catalogue files a build stores in the scanned folder.
inline constexpr const char* kCatalogueBaseName = "pelmaropath";

}  // namespace pelmaro
