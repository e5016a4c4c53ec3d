#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/catalogue.h"
#include "platform/file_system.h"
#include "platform/line_list.h"
#include "platform/list_control.h"
#include "platform/window.h"

namespace pelmaro {

// One change that New bookmark or Delete Bookmark makes to a bookmark list.
struct BookmarkChange {
    enum class Kind {
        Add,     // appends `reference` unless a bookmark of the same index is there
        Remove,  // removes the first bookmark that is `reference`
    };
    Kind kind = Kind::Add;
    std::string reference;
};

// Applies `changes` in order to what the bookmark file holds now, with its folder locked, so
// that two programs changing one file keep each other's changes. Writes the file only when the
// changes change it, and removes it when they leave it empty. Returns the list now stored. A
// stored bookmark whose index can't be read equals no other. Fails with
// "Cannot create file "%s". %s" or another Error of the file system; the file is unchanged then.
std::vector<std::string> applyBookmarkChanges(platform::FileSystem& files,
                                              const std::string& fileName,
                                              const std::vector<BookmarkChange>& changes);

// Writes bookmark changes on a thread of its own, in the order they were made, so that the window's
// thread never waits for the folder lock (held by a save, or by another window) or the disk. Each
// batch's outcome is handed back through the window's thread: the merged list, or the error.
// The destructor waits until every batch handed over has been written.
class BookmarkWriter {
public:
    using Done = std::function<void(const std::string& fileName, std::vector<std::string> merged)>;
    using Failed =
        std::function<void(const std::string& fileName, std::vector<BookmarkChange> changes,
                           const std::string& message)>;
    BookmarkWriter(platform::FileSystem& files, platform::UiThread& ui, Done done, Failed failed);
    ~BookmarkWriter();
    BookmarkWriter(const BookmarkWriter&) = delete;
    BookmarkWriter& operator=(const BookmarkWriter&) = delete;

    void write(const std::string& fileName, std::vector<BookmarkChange> changes);

private:
    struct Batch {
        std::string fileName;
        std::vector<BookmarkChange> changes;
    };
    void drain();

    platform::FileSystem& files_;
    platform::UiThread& ui_;
    // Shared with the posted tasks, which may run after the writer is gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    Done done_;
    Failed failed_;
    std::mutex mutex_;
    std::deque<Batch> queue_;  // guarded by mutex_
    bool draining_ = false;    // guarded by mutex_
    std::jthread worker_;
};

// The bookmark list of the current catalogue: entry references shown in the bookmark overlay
// list, stored in the catalogue's ".bookmark" file.
//
// Every add and delete is applied at once to the file of the catalogue current
// at that moment (applyBookmarkChanges), so a crash or a switch to another catalogue loses
// nothing and another window's bookmarks stay; the list then shows the file's merged content. A
// list emptied by deletions removes the file. The file is only ever written or removed for a change
// made in this run, and only once the list holds what the file held: a run whose start-up never
// loaded the bookmarks reads the file before the first New bookmark, and leaves it alone at
// shutdown.
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

    // From now on changes are written on a thread of their own (BookmarkWriter) and a failed
    // write is shown in an error box when it ends, instead of being raised: the window's thread
    // never waits for the file. Without it, every change is written before the call returns.
    void writeInTheBackground(platform::UiThread& ui);

    // End of the run: writes a change that could not be written when it was made. Otherwise
    // there is nothing left to do, and the file stays as it is.
    void shutdown();

private:
    // Loads the current catalogue's file into the list when it exists, and notes that the list
    // now stands for that file.
    void loadCurrentFile();
    bool standsForCurrentFile() const;
    // Applies the pending changes to `fileName`; returns the merged list.
    std::vector<std::string> writePending(const std::string& fileName);
    // Made in the list: applies the change to the current file and shows the merged list.
    void changed(BookmarkChange change);

    platform::ListControl& titles_;
    platform::ListControl& list_;
    platform::ListControl& results_;
    const CurrentCatalogue& current_;
    platform::Dialogs& dialogs_;
    platform::FileSystem& files_;
    // The file the list stands for, valid while listLoaded_.
    std::string listFile_;
    bool listLoaded_ = false;
    // Changes the list holds that the file does not yet: the last write failed.
    std::vector<BookmarkChange> pending_;
    // Batches handed to the writer and not yet back, per file: the list takes a merged content
    // only once none is out for its file.
    std::map<std::string, int> writing_;
    std::unique_ptr<BookmarkWriter> writer_;
};

// Shown by New bookmark when the catalogue has no files to keep bookmarks beside.
inline constexpr const char* kCatalogueNotSavedMessage =
    "This catalogue has not been saved, so there is nowhere to keep its bookmarks. Save it when "
    "Path (F2) builds it, or open a saved catalogue with Open (F9), then add the bookmark.";

}  // namespace pelmaro
