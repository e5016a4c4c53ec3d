#pragma once

#include "catalogue/catalogue.h"
#include "catalogue/line_list.h"
#include "platform/file_system.h"
#include "platform/list_control.h"
#include "platform/window.h"

namespace pelmaro {

// The bookmark list of the current catalogue: entry references shown in the bookmark overlay
// list, stored in the catalogue's ".bookmark" file.
class Bookmarks {
public:
    Bookmarks(platform::ListControl& titles, platform::ListControl& bookmarkList,
              platform::ListControl& resultList, const CurrentCatalogue& current,
              platform::Dialogs& dialogs, platform::FileSystem& files);

    // Start-up, last step: loads the current catalogue's bookmark file when it exists.
    void load();
    // Another stored catalogue became current: its bookmarks replace the list.
    void switchCatalogue();

    void AddNewbookmark1Click();   // F6
    void DeleteBookmark1Click();   // F7
    void Bookmark1Click();         // F8: shows or hides the list, hides the result list

    // End of the run.
    void shutdown();

    const MemoryStream& BookmarkStream() const { return stream_; }

private:
    platform::ListControl& titles_;
    platform::ListControl& list_;
    platform::ListControl& results_;
    const CurrentCatalogue& current_;
    platform::Dialogs& dialogs_;
    platform::FileSystem& files_;
    MemoryStream stream_;
};

}  // namespace pelmaro
