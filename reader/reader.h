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
#include "catalogue/session_state.h"
#include "catalogue/shown_title.h"
#include "platform/file_system.h"
#include "platform/list_control.h"
#include "platform/settings_file.h"
#include "platform/settings_store.h"
#include "platform/window.h"
#include "reader/background_work.h"
#include "reader/path_index.h"
#include "search/quick_find.h"
#include "search/title_search.h"

namespace pelmaro {

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
};

// The reader without its window: start-up and shutdown, the commands, showing pages and the
// jumps from the overlay lists. Everything here runs on the window's thread; building a
// catalogue, opening one and the full-text search do their file work on a thread of their own and
// hand their results back in batches, so the window stays responsive and nothing runs nested
// inside anything else.
//
// Only one long command runs at a time: the others do nothing meanwhile (browsing, the title
// search and the bookmarks stay available). Commands fail with pelmaro::Error, which the caller
// shows; failures of work that ends later are shown through Dialogs::showError.
class Reader {
public:
    explicit Reader(ReaderServices services);
    // Stops long work and waits for it; nothing half-done is stored.
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // The last catalogue, its selected entry and page, then its bookmarks; the caption says when
    // the settings can't be stored. An error skips the rest.
    void start();
    // Stops long work (nothing half-done is stored), then stores the session and the bookmarks.
    // Runs once; later calls do nothing.
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
    bool busy() const { return activity_ != Activity::Idle; }
    // The long command that runs is a full-text search, which its command stops.
    bool searching() const { return activity_ == Activity::Searching; }
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
    // "/home/me/help/pelmaropath.path, 1234 entries", "/home/me/help (not saved), 3 entries";
    // empty when the lists are empty.
    std::string catalogueStatus() const;

    // The title of an entry as people read it (character references and the page's encoding
    // decoded, UTF-8); empty for an index the catalogue doesn't have. Decoded when first asked
    // for and kept, so a list asks only for the rows it paints.
    const std::string& shownTitle(int entry);
    // The title part of an entry reference ("Java &amp; more|12") as people read it, decoded as
    // its entry's page would be.
    std::string shownReference(std::string_view reference);
    // The text of the last full-text search of this catalogue, for the results' heading; empty
    // when there has been none.
    const std::string& lastSearchText() const;

    // Quick find over the shown titles, ranked (search/quick_find.h). The titles are indexed on a
    // thread of their own whenever the catalogue changes; until that is done there is no answer.
    std::optional<QuickFindResult> quickFind(std::string_view query);
    // Runs when the index of a new catalogue is ready.
    void setOnTitlesIndexed(std::function<void()> onTitlesIndexed) {
        onTitlesIndexed_ = std::move(onTitlesIndexed);
    }

private:
    enum class Activity { Idle, Building, Opening, Searching };

    // One piece of long work's link back to the window's thread: results it posts are dropped once
    // the work has been ended (shutdown, or a failure on the window's side).
    using Ticket = std::uint64_t;

    void begin(Activity activity);
    void end();
    // Runs `work` on the background thread; `post` hands a result to the window's thread, where
    // it runs unless this piece of work has been ended meanwhile.
    using Post = std::function<void(std::function<void()>)>;
    void runInBackground(std::function<void(std::stop_token, const Post&)> work);

    void finishBuild(const std::string& folder, std::vector<std::string> titles,
                     std::vector<std::string> paths, PathIndex index);
    // `folder`: the folder the catalogue lists (scannedFolderOf).
    void finishOpen(const std::string& pathFile, const std::string& folder, StoredCatalogue stored,
                    PathIndex index);
    // The lists hold another catalogue: the results, whose indexes meant entries of the old one,
    // go.
    void catalogueReplaced(PathIndex index);
    void announceCatalogue();
    void appendResults(const std::vector<std::size_t>& hits);
    void finishSearch();
    void stopFullSearch();
    // Ends the work that failed and shows why.
    void fail(const std::string& message);

    // `searchResults`: the overlay is the result list, whose pages open with their text found.
    void jumpFrom(platform::ListControl& overlay, bool searchResults);
    // Shows the selected entry's page, and then finds `findText` in it unless that is empty.
    void showSelected(const std::string& findText);
    std::string currentFolder() const;
    // The lists hold another catalogue: what was decoded or indexed of the last one goes, and
    // the titles are indexed again once no long command runs.
    void catalogueChanged();
    // Decodes every title and builds the quick-find index on a thread of its own.
    void indexTitles();
    // The text of the search that found the result in row `row`.
    const std::string& searchTextOfResult(int row) const;

    ReaderServices services_;
    Catalogue catalogue_;
    CurrentCatalogue current_;
    SessionState session_;
    TitleSearch titleSearch_;
    Bookmarks bookmarks_;

    // Where each search's results begin in the result list, and the text it searched for.
    struct ResultRun {
        int firstRow;
        std::string text;
    };
    std::vector<ResultRun> resultRuns_;
    PathIndex pathIndex_;
    // The file the page view shows, or was last asked to show.
    std::string shownFile_;
    // The folder of the built catalogue the lists show while it is not saved.
    std::string builtFolder_;

    Activity activity_ = Activity::Idle;
    Ticket ticket_ = 0;
    bool shutDown_ = false;
    std::function<void()> onBusyChanged_;

    TitleDecoder titleDecoder_;
    // The shown text of every entry and their quick-find index, once indexed.
    std::vector<std::string> indexedTitles_;
    std::optional<QuickFind> quickFind_;
    Ticket indexTicket_ = 0;
    bool indexAfterCommand_ = false;
    std::function<void()> onTitlesIndexed_;

    std::function<void()> onCatalogueChanged_;

    // Last: stopped and joined before the rest goes.
    BackgroundWork indexing_;
    BackgroundWork work_;
};

}  // namespace pelmaro
