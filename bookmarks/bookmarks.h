#pragma once

#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/line_list.h"
#include "platform/file_system.h"
#include "platform/list_control.h"
#include "platform/window.h"

namespace pelmaro {

// The bookmark list of the current catalogue: entry references shown in the bookmark overlay
// list, stored in the catalogue's ".bookmark" file.
//
// Every add and delete is written to the file of the catalogue current at that
// moment, so a crash or a switch to another catalogue loses nothing; a list emptied by deletions
// removes the file. The file is only ever written or removed for a change made in this run, and
// only once the list holds what the file held: a run whose start-up never loaded the bookmarks
// reads the file before the first New bookmark, and leaves it alone at shutdown.
class Bookmarks {
public:
    Bookmarks(platform::ListControl& titles, platform::ListControl& bookmarkList,
              platform::ListControl& resultList, const CurrentCatalogue& current,
              platform::Dialogs& dialogs, platform::FileSystem& files);

    // Start-up, last step: loads the current catalogue's bookmark file when it exists.
    void loadAtStart();
    // Another stored catalogue became current: its bookmarks replace the list. A change that
    // could not be written to the previous catalogue's file is tried once more first; if that
    // fails too, the switch still happens and the error is raised after it.
    void followCatalogue();

    // Bookmarks the entry selected in the title list, unless it is bookmarked already. With no
    // stored catalogue current, tells the user that the catalogue must be saved first. A failed
    // write is raised; the bookmark stays in the list and is written with the next change or at
    // shutdown.
    void addSelectedEntry();
    // Deletes the bookmark selected in the shown list; a failed write is handled as in
    // addSelectedEntry.
    void deleteSelected();
    // Shows or hides the list, and hides the result list.
    void toggleShown();

    // End of the run: writes a change that could not be written when it was made. Otherwise
    // there is nothing left to do, and the file stays as it is.
    void shutdown();

    // After every add and delete, the list in line-list form; empty at start-up and after a
    // switch to another catalogue until the next change.
    const MemoryStream& pendingContent() const { return stream_; }

private:
    // Loads the current catalogue's file into the list when it exists, and notes that the list
    // now stands for that file.
    void loadCurrentFile();
    bool standsForCurrentFile() const;
    // Writes the list to `fileName`, or removes the file when the list is empty.
    void writeFile(const std::string& fileName);
    // Rewrites the pending content and writes the current catalogue's file.
    void changed();

    platform::ListControl& titles_;
    platform::ListControl& list_;
    platform::ListControl& results_;
    const CurrentCatalogue& current_;
    platform::Dialogs& dialogs_;
    platform::FileSystem& files_;
    MemoryStream stream_;
    // The file the list stands for, valid while listLoaded_.
    std::string listFile_;
    bool listLoaded_ = false;
    // The list holds a change that the last write could not store.
    bool unsaved_ = false;
};

// Shown by New bookmark when the catalogue has no files to keep bookmarks beside.
inline constexpr const char* kCatalogueNotSavedMessage =
    "This catalogue has not been saved, so there is nowhere to keep its bookmarks. Save it when "
    "Path (F2) builds it, or open a saved catalogue with Open (F9), then add the bookmark.";

}  // namespace pelmaro
