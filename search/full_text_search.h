#pragma once

#include <string>

#include "catalogue/catalogue.h"
#include "platform/file_system.h"
#include "platform/list_control.h"
#include "platform/window.h"

namespace pelmaro {

// True when the file's text, with line breaks removed and A-Z folded, contains `text` likewise
// folded. An empty text is never found. Fails with "Cannot open file "%s". %s" and on read
// errors. FileTextScanner does the same for many files with one buffer.
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
    void requestStop();
    void searchFiles(const std::string& text);

    Catalogue catalogue_;
    platform::ListControl& results_;
    platform::ListControl& bookmarks_;
    platform::MenuItem& command_;
    platform::Window& window_;
    platform::Dialogs& dialogs_;
    platform::FileSystem& files_;
    platform::LongCommandGate& gate_;
    // A search of ours is in its loop; F11 pressed meanwhile (the loop lets the window handle
    // events) stops it.
    bool running_ = false;
};

}  // namespace pelmaro
