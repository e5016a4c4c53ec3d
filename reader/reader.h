#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bookmarks/bookmarks.h"
#include "catalogue/catalogue.h"
#include "catalogue/catalogue_builder.h"
#include "catalogue/session_state.h"
#include "page/shown_title.h"
#include "platform/file_system.h"
#include "platform/list_control.h"
#include "platform/settings_file.h"
#include "platform/settings_store.h"
#include "platform/window.h"
#include "reader/background_job.h"
#include "reader/full_text_command.h"
#include "reader/path_index.h"
#include "reader/search_index_keeper.h"
#include "reader/title_index.h"
#include "search/quick_find.h"
#include "search/title_search.h"

namespace pelmaro {

// Shown when a bookmark is used whose title no entry of the catalogue has any more.
inline constexpr const char* kStaleBookmarkMessage =
    "This bookmark is stale: no entry of this catalogue has its title any more. Delete it with "
    "Delete Bookmark (F7).";

// Everything the reader works with, wired once by the program (the Qt window) or by a test
// (scripted fakes). The lists belong to the window: titles and paths hold the catalogue, the
// bookmark and result lists lie over the page.
struct ReaderServices {
    platform::ListControl& titles;
    platform::ListControl& paths;
    platform::ListControl& bookmarks;
    platform::ListControl& results;
    platform::Window& window;
    platform::Dialogs& dialogs;
    platform::FileSystem& files;
    platform::SettingsStore& settings;
    platform::PageView& page;
    // The full-search command, whose label says whether it starts or stops a search.
    platform::MenuItem& fullSearchCommand;
    platform::UiThread& ui;
    // Where the catalogue of a folder that can't be written is kept (saveCatalogue).
    std::string dataFolder = platform::defaultDataFolder();
    // Where the search indexes of large catalogues are kept.
    SearchIndexPlace searchIndexes = {platform::defaultCacheFolder()};
};

// The reader without its window: start-up and shutdown, building and opening catalogues, showing
// pages and following them, and the jumps from the overlay lists; the title index and the
// full-text command are parts of their own that it forwards to. Everything here runs on the
// window's thread; file work that can take long runs as a BackgroundJob and hands its results
// back in batches, so the window stays responsive. A box that follows such work (the save
// question, an error) opens from a posted task: a nested event loop, which the window's close
// cancels.
//
// Only one long command runs at a time: the others do nothing meanwhile (browsing, the title
// search and the bookmarks stay available). Commands fail with pelmaro::Error, which the caller
// shows; failures of work that ends later are shown through Dialogs::showError.
class Reader {
public:
    explicit Reader(ReaderServices services);
    // Waits for the work shutdown() left running (the window is gone by then). A save that ends
    // here names the catalogue it stored as the last one.
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // The last catalogue, its selected entry and page, then its bookmarks; the caption says when
    // the settings can't be stored. An error skips the rest.
    void start();
    // Stops long work (nothing half-done is stored), then stores the session and the bookmarks.
    // Never waits for the work: a save that has begun writing goes on and ends in ~Reader. Runs
    // once; later calls do nothing.
    void shutdown();

    // Asks for a folder, builds its catalogue, and offers to store it in that folder (or, when
    // that can't be written, in the data folder, which the caption then names once).
    void buildFromFolder();
    // The same for a folder already chosen (from the command line).
    void buildFolder(const std::string& folder);
    // Asks for a stored ".path" file and makes its catalogue current.
    void openStored();
    // The same for a ".path" file already chosen.
    void openCatalogue(const std::string& pathFile);

    // The catalogues opened last, newest first: their ".path" files, and whether each is still
    // there.
    struct RecentCatalogue {
        std::string pathFile;
        bool exists = false;
    };
    std::vector<RecentCatalogue> recentCatalogues() const;
    void forgetRecent(const std::string& pathFile);

    // Leaves a folder below the catalogue's own out of it (asked first) and builds it again; the
    // line goes into the folder's ".pelmaroignore", or beside the catalogue kept in the data
    // folder when the folder can't be written. bringBackLeftOut() takes every such line back.
    void leaveFolderOut(const std::string& folderName);
    void bringBackLeftOut();

    // The title search (search/title_search.h) over the shown titles. Until they are indexed it
    // runs once they are, so that no page head is read on the window's thread; a text it asks
    // for then comes from a posted task, a nested event loop that the window's close cancels.
    void findNext();
    void findFromTop();

    void addBookmark();
    void deleteBookmark();
    void toggleBookmarks();

    // Starts a full-text search, asking for its text; while one runs, stops it.
    void startOrStopFullSearch();
    void toggleResults();

    // Shows the page of the entry selected in the title list; nothing without a selection.
    void showSelectedPage();
    // A click on the selected title: shows its page again when the view has gone on to another
    // page (a link out of the catalogue); nothing while it shows that page.
    void returnToSelectedPage();
    // A double click in an overlay list: selects the entry its selected item points at, shows its
    // page, and hides the list. A result's page opens with the text that found it highlighted.
    void jumpFromBookmark();
    void jumpFromResult();

    // The page view has loaded `fileName` as its document, whoever took it there (a link, back or
    // forward, or this reader). When the file is an entry of the catalogue, that entry becomes
    // the selected one, so that the bookmarks, the stored entry and Search act on the page being
    // read; the page is not shown again. Any other page leaves the selection as it is.
    void pageShown(const std::string& fileName);
    // The page view's address has changed without a document of ours having loaded yet (a page
    // that failed, or one that rewrote its address): a click on the selected title shows it again.
    void pageLeft() { shownFile_.clear(); }
    // The page view shows the selected entry's page, loaded.
    bool showsSelectedPage() const;

    // A long command runs.
    bool busy() const { return activity_ != Activity::Idle || searching(); }
    // The long command that runs is a full-text search, which its command stops.
    bool searching() const { return fullText_.state() != FullTextCommand::State::Idle; }
    // Runs whenever busy() changes, so the window can show which commands are available.
    void setOnBusyChanged(std::function<void()> onBusyChanged) {
        onBusyChanged_ = std::move(onBusyChanged);
    }
    // Runs whenever the catalogue shown or its name changes (start-up, a build, Open, a save).
    void setOnCatalogueChanged(std::function<void()> onCatalogueChanged) {
        onCatalogueChanged_ = std::move(onCatalogueChanged);
    }

    const CurrentCatalogue& currentCatalogue() const { return current_; }
    // Which catalogue the lists show and how many entries it has, for the status line:
    // "/home/me/help/pelmaropath.path, 1,234 entries", "/home/me/help (not saved), 3 entries",
    // and what the search index is doing ("... entries — indexing for search: 300 of 5,000
    // pages"); empty when the lists are empty.
    std::string catalogueStatus() const;

    // The title of an entry as people read it (character references and the page's encoding
    // decoded, UTF-8); empty for an index the catalogue doesn't have. Decoded when first asked
    // for and kept, so a list asks only for the rows it paints.
    const std::string& shownTitle(int entry) { return titleIndex_.shownTitle(entry); }
    // The title part of an entry reference ("Java &amp; more|12") as people read it, decoded as
    // its entry's page would be.
    std::string shownReference(std::string_view reference) {
        return titleIndex_.shownReference(reference);
    }
    // The full-text searches of this catalogue, for the results' headings.
    const std::vector<SearchRun>& searchRuns() const { return fullText_.runs(); }
    // What a result row shows besides its title (FullTextCommand).
    const ContextLine& resultContext(int row) { return fullText_.contextOfRow(row); }
    std::string resultFolder(int row) const { return fullText_.folderOfRow(row); }
    ResultOrder resultOrder() const { return fullText_.order(); }
    void setResultOrder(ResultOrder order) { fullText_.setOrder(order); }

    // Quick find over the shown titles, ranked (search/quick_find.h). The titles are indexed on a
    // thread of their own whenever the catalogue changes; until that is done there is no answer.
    std::optional<QuickFindResult> quickFind(std::string_view query) {
        return titleIndex_.quickFind(query);
    }
    // Runs whenever the search index's note for the status line changes.
    void setOnSearchIndexChanged(std::function<void()> onChanged) {
        searchIndex_.setOnChanged(std::move(onChanged));
    }
    // Whether full-text searches are narrowed by an index now.
    bool searchIndexReady() const { return searchIndex_.ready() != nullptr; }

    // Runs when the index of a new catalogue is ready.
    void setOnTitlesIndexed(std::function<void()> onTitlesIndexed) {
        titleIndex_.setOnIndexed(std::move(onTitlesIndexed));
    }

private:
    enum class Activity { Idle, Building, Opening };

    void begin(Activity activity);
    // A long command has ended (or the full-text search changed its state).
    void commandEnded();
    void notifyBusy();

    void finishBuild(const std::string& folder, std::vector<std::string> titles,
                     std::vector<std::string> paths, PathIndex index);
    void saveBuild(const std::string& folder, std::vector<std::string> titles,
                   std::vector<std::string> paths);
    // `folder`: the folder the catalogue lists (scannedFolderOf).
    void finishOpen(const std::string& pathFile, const std::string& folder, StoredCatalogue stored,
                    PathIndex index);
    // The lists hold another catalogue: the results, whose indexes meant entries of the old one,
    // go, and its titles are indexed again once no long command runs.
    void catalogueReplaced(PathIndex index);
    void announceCatalogue();
    // Ends the build or Open that failed and shows why.
    void fail(const std::string& message);

    // `searchResults`: the overlay is the result list, whose pages open with their text found.
    void jumpFrom(platform::ListControl& overlay, bool searchResults);
    // The entry a bookmark names: its index while the title there is still the bookmark's,
    // else the entry with that title nearest to it; -1 when no entry has it.
    int entryOfBookmark(std::string_view reference) const;
    // Shows the selected entry's page, and then finds `findText` in it unless that is empty.
    void showSelected(const std::string& findText);
    std::string currentFolder() const;

    ReaderServices services_;
    Catalogue catalogue_;
    CurrentCatalogue current_;
    SessionState session_;
    TitleSearch titleSearch_;
    Bookmarks bookmarks_;

    PathIndex pathIndex_;
    // The file the page view shows, or was last asked to show.
    std::string shownFile_;
    // The folder of the built catalogue the lists show while it is not saved.
    std::string builtFolder_;
    // The folder the catalogue's pages lie in: the one built, or the one a stored catalogue was
    // built from.
    std::string catalogueFolder_;
    void useCatalogueFolder(const std::string& folder);

    Activity activity_ = Activity::Idle;
    bool shutDown_ = false;
    // Indexing while a build still saves its files would take a core from it: the index waits
    // for the command to end.
    bool indexAfterCommand_ = false;
    std::function<void()> onBusyChanged_;
    std::function<void()> onCatalogueChanged_;

    // What a save stored, set by its thread before it hands the result over, and taken by the
    // window's thread when that arrives. A save still running at shutdown is not waited for
    // there; the destructor waits and names what it stored as the last catalogue.
    std::shared_ptr<std::optional<SavedCatalogue>> unappliedSave_;

    // Last: their threads end before the rest goes.
    SearchIndexKeeper searchIndex_;
    TitleIndex titleIndex_;
    FullTextCommand fullText_;
    BackgroundJob catalogueJob_;
    BackgroundJob saveJob_;
};

}  // namespace pelmaro
