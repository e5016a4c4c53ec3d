#pragma once

#include <string>

#include "catalogue/catalogue.h"
#include "platform/file_system.h"
#include "platform/list_control.h"
#include "platform/window.h"

namespace pelmaro {

// True when the file's text, with line breaks removed and A-Z folded, contains `text` likewise
// folded. An empty text is never found.
bool FileContainsText(platform::FileSystem& files, const std::string& fileName,
                      const std::string& text);

// Full search (F11) lists every catalogue entry whose file contains a text; the same command stops
// a running search. Result (F10) shows or hides the result list.
class FullTextSearch {
public:
    FullTextSearch(Catalogue catalogue, platform::ListControl& resultList,
                   platform::ListControl& bookmarkList, platform::MenuItem& command,
                   platform::Window& window, platform::Dialogs& dialogs,
                   platform::FileSystem& files, platform::LongCommandGate& gate);

    void Fullsearch1Click();
    void Result1Click();

    bool StopRequested = false;

private:
    Catalogue catalogue_;
    platform::ListControl& results_;
    platform::ListControl& bookmarks_;
    platform::MenuItem& command_;
    platform::Window& window_;
    platform::Dialogs& dialogs_;
    platform::FileSystem& files_;
    platform::LongCommandGate& gate_;
};

}  // namespace pelmaro
