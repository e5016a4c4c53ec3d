#include "reader/reader.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <iterator>
#include <optional>

#include "catalogue/catalogue_builder.h"
#include "catalogue/catalogue_files.h"
#include "catalogue/line_list.h"
#include "catalogue/strings.h"
#include "platform/error.h"
#include "search/full_text_search.h"

namespace pelmaro {
namespace {

constexpr const char* kFullSearchIdle = "&Full search";
constexpr const char* kFullSearchRunning = "&Stop search";

// How often long work tells the window how far it has come. The build's caption counts names
// quickly; the search's caption and its batches of results are a repaint each.
constexpr auto kBuildProgressInterval = std::chrono::milliseconds(20);
constexpr auto kSearchProgressInterval = std::chrono::milliseconds(100);

}  // namespace

Reader::Reader(ReaderServices services)
    : services_(services),
      catalogue_{services.titles, services.paths},
      session_(catalogue_, current_, services.settings, services.files),
      titleSearch_(services.titles, services.dialogs, [this] { showSelectedPage(); }),
      bookmarks_(services.titles, services.bookmarks, services.results, current_, services.dialogs,
                 services.files),
      titleDecoder_(services.files) {
    current_.setOnSwitch([this] { bookmarks_.followCatalogue(); });
    titleSearch_.setShownTitle(
        [this](int entry) -> const std::string& { return shownTitle(entry); });
}

Reader::~Reader() {
    work_.stopAndWait();
    indexing_.stopAndWait();
}

void Reader::start() {
    // Said once, in the caption, so that a session that can't be kept is not lost silently.
    if (const std::string problem = services_.settings.storeProblem(); !problem.empty()) {
        services_.window.setCaption(problem);
    }
    // What start-up loaded is the catalogue shown, also when it failed after loading it (a
    // stored entry of the wrong type).
    std::exception_ptr failure;
    try {
        session_.restore([this] {
            // A stored catalogue's pages read the tree it was built from.
            services_.page.setCatalogueFolder(
                scannedFolderOf(services_.files, deriveName(current_.bookmarkFile(), ".path")));
            showSelectedPage();
        });
    } catch (...) {
        failure = std::current_exception();
    }
    catalogueReplaced(PathIndex(catalogue_.paths.items()));
    catalogueChanged();
    announceCatalogue();
    if (failure) {
        std::rethrow_exception(failure);
    }
    bookmarks_.loadAtStart();
}

void Reader::shutdown() {
    if (shutDown_) {
        return;
    }
    shutDown_ = true;
    // Whatever the work would still hand over is dropped: a build stores nothing, a search lists
    // nothing more.
    ++ticket_;
    ++indexTicket_;
    work_.stopAndWait();
    indexing_.stopAndWait();
    if (activity_ == Activity::Searching) {
        services_.fullSearchCommand.setLabel(kFullSearchIdle);
    }
    activity_ = Activity::Idle;
    session_.save();
    bookmarks_.shutdown();
}

void Reader::begin(Activity activity) {
    activity_ = activity;
    if (onBusyChanged_) {
        onBusyChanged_();
    }
}

void Reader::end() {
    ++ticket_;
    activity_ = Activity::Idle;
    if (onBusyChanged_) {
        onBusyChanged_();
    }
    if (indexAfterCommand_) {
        indexAfterCommand_ = false;
        indexTitles();
    }
}

void Reader::runInBackground(std::function<void(std::stop_token, const Post&)> work) {
    const Ticket ticket = ++ticket_;
    Post post = [this, ticket](std::function<void()> task) {
        services_.ui.post([this, ticket, task = std::move(task)] {
            if (ticket != ticket_ || shutDown_) {
                return;
            }
            try {
                task();
            } catch (const std::exception& error) {
                fail(error.what());
            }
        });
    };
    work_.start([this, work = std::move(work), post = std::move(post)](std::stop_token stop) {
        try {
            work(stop, post);
        } catch (const std::exception& error) {
            post([this, message = std::string(error.what())] { fail(message); });
        }
    });
}

void Reader::fail(const std::string& message) {
    if (busy()) {
        work_.requestStop();
    }
    if (activity_ == Activity::Searching) {
        services_.fullSearchCommand.setLabel(kFullSearchIdle);
    }
    end();
    // Often called from a posted task: the error box is then a nested event loop inside it, and
    // the window's close cancels the box before the task returns.
    services_.dialogs.showError(message);
}

std::string Reader::currentFolder() const {
    const std::string& bookmarkFile = current_.bookmarkFile();
    return bookmarkFile.empty() ? std::string() : platform::folderOf(bookmarkFile);
}

// Building

void Reader::buildFromFolder() {
    if (busy()) {
        return;
    }
    const std::string folder =
        services_.dialogs.pickFolder("please select a path for scan", currentFolder());
    if (!folder.empty()) {
        buildFolder(folder);
    }
}

void Reader::buildFolder(const std::string& folder) {
    if (busy() || folder.empty()) {
        return;
    }
    begin(Activity::Building);
    services_.window.setCaption("please wait...");
    platform::Window& window = services_.window;
    platform::FileSystem& files = services_.files;
    runInBackground([this, folder, &window, &files](std::stop_token stop, const Post& post) {
        Throttle throttle(kBuildProgressInterval);
        std::size_t lastShown = SIZE_MAX;
        const auto titling = [&](std::size_t done, std::size_t total) {
            // "loading N" counts the names titled so far, up to the last one.
            const std::size_t shown = std::min(done, total - 1);
            if (shown != lastShown && (done + 1 >= total || throttle.due())) {
                lastShown = shown;
                post([&window, shown] { window.setCaption("loading " + std::to_string(shown)); });
            }
        };
        BuiltCatalogue built = buildCatalogue(files, folder, stop, {{}, titling});
        if (built.result == BuildResult::NoFiles) {
            post([this, &window] {
                window.setCaption("no files");
                end();
            });
        } else if (built.result == BuildResult::Built) {
            PathIndex index(built.paths);
            post([this, folder, titles = std::move(built.titles), paths = std::move(built.paths),
                  index = std::move(index)]() mutable {
                finishBuild(folder, std::move(titles), std::move(paths), std::move(index));
            });
        }
    });
}

void Reader::finishBuild(const std::string& folder, std::vector<std::string> titles,
                         std::vector<std::string> paths, PathIndex index) {
    const std::size_t m = titles.size();
    // What the save would write, kept aside: the lists are the window's, and the window's thread
    // may use them while the files are written.
    std::vector<std::string> savedTitles = titles;
    std::vector<std::string> savedPaths = paths;
    current_.showUnsaved();
    builtFolder_ = folder;
    services_.page.setCatalogueFolder(folder);
    catalogue_.paths.assign(std::move(paths));
    catalogue_.titles.assign(std::move(titles));
    catalogueChanged();
    catalogueReplaced(std::move(index));
    announceCatalogue();
    services_.window.setCaption("sorting..." + std::to_string(m) + " total is " +
                                std::to_string(m));
    // A posted task (the build's end): the question is a nested event loop inside it. Closing the
    // window answers it No, so a build cut short by the close saves nothing.
    if (!services_.dialogs.askYesNo(
            "Information", "save the result ?that last time can open it or load it auto")) {
        end();
        return;
    }
    platform::FileSystem& files = services_.files;
    runInBackground([this, folder, &files, savedTitles = std::move(savedTitles),
                     savedPaths = std::move(savedPaths),
                     dataFolder = services_.dataFolder](std::stop_token, const Post& post) {
        SavedCatalogue saved = saveCatalogue(files, folder, savedTitles, savedPaths, dataFolder);
        post([this, saved = std::move(saved)] {
            end();
            if (saved.keptElsewhere) {
                services_.window.setCaption(keptElsewhereNote(saved));
            }
            current_.switchTo(saved.bookmarkFile);
            announceCatalogue();
        });
    });
}

// Opening

void Reader::openStored() {
    if (busy()) {
        return;
    }
    const auto chosen = services_.dialogs.openFile(
        "select saved path database file", {{"*.path", "*.path"}, {"*.*", "*.*"}}, currentFolder());
    if (chosen && !chosen->empty()) {
        openCatalogue(*chosen);
    }
}

void Reader::openCatalogue(const std::string& pathFile) {
    if (busy()) {
        return;
    }
    const std::string titleFile = deriveName(pathFile, ".title");
    if (!services_.files.fileExists(titleFile)) {
        services_.dialogs.showMessage("path title lost.can't loading");
        return;
    }
    begin(Activity::Opening);
    platform::FileSystem& files = services_.files;
    runInBackground([this, pathFile, titleFile, &files](std::stop_token, const Post& post) {
        StoredCatalogue stored = loadCataloguePair(files, titleFile, pathFile);
        PathIndex index(stored.paths);
        std::string folder = scannedFolderOf(files, pathFile);
        post([this, pathFile, folder = std::move(folder), stored = std::move(stored),
              index = std::move(index)]() mutable {
            finishOpen(pathFile, folder, std::move(stored), std::move(index));
        });
    });
}

void Reader::finishOpen(const std::string& pathFile, const std::string& folder,
                        StoredCatalogue stored, PathIndex index) {
    end();
    services_.page.setCatalogueFolder(folder);
    catalogue_.titles.assign(std::move(stored.titles));
    catalogue_.paths.assign(std::move(stored.paths));
    catalogueChanged();
    catalogueReplaced(std::move(index));
    current_.switchTo(deriveName(pathFile, ".bookmark"));
    announceCatalogue();
}

void Reader::catalogueReplaced(PathIndex index) {
    pathIndex_ = std::move(index);
    services_.results.clear();
    resultRuns_.clear();  // and with them the search the results' heading names
}

std::vector<Reader::RecentCatalogue> Reader::recentCatalogues() const {
    std::vector<RecentCatalogue> recent;
    for (const std::string& name : session_.recent()) {
        std::string pathFile = deriveName(name, ".path");
        const bool exists = services_.files.fileExists(pathFile);
        recent.push_back({std::move(pathFile), exists});
    }
    return recent;
}

void Reader::forgetRecent(const std::string& pathFile) {
    session_.forget(deriveName(pathFile, ".bookmark"));
    if (onCatalogueChanged_) {
        onCatalogueChanged_();
    }
}

void Reader::announceCatalogue() {
    session_.rememberCurrent();
    if (onCatalogueChanged_) {
        onCatalogueChanged_();
    }
}

std::string Reader::catalogueStatus() const {
    const int count = catalogue_.titles.count();
    if (count == 0) {
        return {};
    }
    std::string name;
    if (!current_.shownIsStored()) {
        name = builtFolder_ + " (not saved)";
    } else if (!current_.bookmarkFile().empty()) {
        name = deriveName(current_.bookmarkFile(), ".path");
    }
    return (name.empty() ? "" : name + ", ") + std::to_string(count) +
           (count == 1 ? " entry" : " entries");
}

// Searching titles

void Reader::findNext() {
    titleSearch_.findNext();
}

void Reader::findFromTop() {
    titleSearch_.findFromTop();
}

// Bookmarks

void Reader::addBookmark() {
    bookmarks_.addSelectedEntry();
}

void Reader::deleteBookmark() {
    bookmarks_.deleteSelected();
}

void Reader::toggleBookmarks() {
    bookmarks_.toggleShown();
}

// Searching text

void Reader::startOrStopFullSearch() {
    platform::MenuItem& command = services_.fullSearchCommand;
    if (catalogue_.paths.count() == 0) {
        return;
    }
    if (activity_ == Activity::Searching) {
        stopFullSearch();
        return;
    }
    if (busy()) {
        return;  // a build or an Open is changing the catalogue the search would walk
    }
    if (command.label() != kFullSearchIdle) {
        stopFullSearch();
        return;
    }
    command.setLabel(kFullSearchRunning);
    services_.bookmarks.setVisible(false);
    services_.results.setVisible(true);
    const std::string text =
        services_.dialogs.inputBox("please enter a string to search", "pelmaro", "");
    if (text.empty()) {
        services_.results.setVisible(false);
        command.setLabel(kFullSearchIdle);
        return;
    }

    // Before the window hears that the search began: the results' heading names its text.
    resultRuns_.push_back({services_.results.count(), text});
    begin(Activity::Searching);
    platform::Window& window = services_.window;
    platform::FileSystem& files = services_.files;
    runInBackground([this, text, &window, &files, paths = catalogue_.paths.items()](
                        std::stop_token stop, const Post& post) {
        const std::string total = " total is " + std::to_string(paths.size());
        std::vector<std::size_t> hits;
        // The caption and the hits found since the last hand-over go to the window together.
        const auto handOver = [&](std::size_t n) {
            post([this, &window, caption = "search start" + std::to_string(n + 1) + total,
                  hits = std::move(hits)] {
                window.setCaption(caption);
                appendResults(hits);
            });
            hits.clear();
        };
        Throttle throttle(kSearchProgressInterval);
        searchFiles(files, paths, text, stop,
                    {.reading =
                         [&](std::size_t n) {
                             if (n == 0 || n + 1 == paths.size() || throttle.due()) {
                                 handOver(n);
                             }
                         },
                     .found = [&](std::size_t n) { hits.push_back(n); },
                     .skipped = {}});
        post([this, hits = std::move(hits)] {
            appendResults(hits);
            finishSearch();
        });
    });
}

void Reader::appendResults(const std::vector<std::size_t>& hits) {
    if (hits.empty()) {
        return;
    }
    std::vector<std::string> references;
    references.reserve(hits.size());
    for (const std::size_t n : hits) {
        // With more paths than titles, a hit on a path without a title ends the search here.
        const int index = static_cast<int>(n);
        references.push_back(makeEntryReference(catalogue_.titles.item(index), index));
    }
    services_.results.append(std::move(references));
}

void Reader::finishSearch() {
    services_.window.setCaption("found 100%");
    // However the search ended, the next use of the command starts a new one.
    services_.fullSearchCommand.setLabel(kFullSearchIdle);
    end();
}

void Reader::stopFullSearch() {
    services_.fullSearchCommand.setLabel(kFullSearchIdle);
    services_.window.setCaption("terminate");
    work_.requestStop();
}

void Reader::toggleResults() {
    services_.results.setVisible(!services_.results.isVisible());
    services_.bookmarks.setVisible(false);
}

// Pages

void Reader::showSelectedPage() {
    showSelected({});
}

void Reader::showSelected(const std::string& findText) {
    if (catalogue_.titles.count() == 0) {
        return;
    }
    const int selected = catalogue_.titles.selectedIndex();
    if (selected < 0) {
        return;  // a title search that found nothing leaves no entry selected
    }
    const std::string fileName(catalogue_.paths.item(selected));
    if (findText.empty()) {
        services_.page.navigate(fileName);
    } else {
        services_.page.navigateAndFind(fileName, findText);
    }
    shownFile_ = fileName;
}

bool Reader::showsSelectedPage() const {
    const int selected = catalogue_.titles.selectedIndex();
    return selected >= 0 && selected < catalogue_.paths.count() &&
           catalogue_.paths.item(selected) == shownFile_;
}

void Reader::returnToSelectedPage() {
    if (catalogue_.titles.count() == 0 || catalogue_.titles.selectedIndex() < 0 ||
        showsSelectedPage()) {
        return;
    }
    showSelectedPage();
}

void Reader::pageShown(const std::string& fileName) {
    shownFile_ = fileName;
    const platform::TextList& paths = catalogue_.paths.items();
    const int selected = catalogue_.titles.selectedIndex();
    if (selected >= 0 && static_cast<std::size_t>(selected) < paths.size() &&
        paths[static_cast<std::size_t>(selected)] == fileName) {
        return;  // the page of the selected entry, or another entry of the same file
    }
    const int entry = pathIndex_.find(paths, fileName);
    if (entry >= 0 && entry < catalogue_.titles.count()) {
        catalogue_.titles.select(entry);
    }
}

void Reader::jumpFromBookmark() {
    jumpFrom(services_.bookmarks, false);
}

void Reader::jumpFromResult() {
    jumpFrom(services_.results, true);
}

void Reader::jumpFrom(platform::ListControl& overlay, bool searchResults) {
    if (catalogue_.titles.count() == 0 || !overlay.isVisible()) {
        return;
    }
    if (overlay.count() > 0) {
        const int selected = overlay.selectedIndex();
        if (selected < 0) {
            return;  // a double click beside the items
        }
        catalogue_.titles.select(readEntryReference(overlay.item(selected)));
        showSelected(searchResults ? searchTextOfResult(selected) : std::string());
    }
    overlay.setVisible(false);
}

// Titles as shown

const std::string& Reader::shownTitle(int entry) {
    static const std::string none;
    if (entry < 0 || entry >= catalogue_.titles.count()) {
        return none;
    }
    if (static_cast<std::size_t>(entry) < indexedTitles_.size()) {
        return indexedTitles_[static_cast<std::size_t>(entry)];
    }
    const std::string path = entry < catalogue_.paths.count()
                                 ? std::string(catalogue_.paths.item(entry))
                                 : std::string();
    return titleDecoder_.shown(entry, catalogue_.titles.item(entry), path);
}

std::string Reader::shownReference(std::string_view reference) {
    const std::size_t bar = reference.rfind('|');
    const std::string_view title = reference.substr(0, bar);
    int entry = -1;
    try {
        entry = readEntryReference(reference);
    } catch (const Error&) {
        // Not ours to judge here: the jump reports it. Shown without a page to decode by.
    }
    const std::string path = entry >= 0 && entry < catalogue_.paths.count()
                                 ? std::string(catalogue_.paths.item(entry))
                                 : std::string();
    return titleDecoder_.decode(title, path);
}

std::optional<QuickFindResult> Reader::quickFind(std::string_view query) {
    if (!quickFind_) {
        return std::nullopt;
    }
    return quickFind_->find(query);
}

void Reader::catalogueChanged() {
    titleDecoder_.clear();
    indexedTitles_.clear();
    quickFind_.reset();
    ++indexTicket_;
    indexing_.stopAndWait();
    // Indexing while a build still saves its files would take a core from it: the index waits
    // for the command to end.
    if (busy()) {
        indexAfterCommand_ = true;
    } else {
        indexTitles();
    }
}

void Reader::indexTitles() {
    const Ticket ticket = indexTicket_;
    platform::FileSystem& files = services_.files;
    // The lists' buffers are copied whole, a copy each; splitting them into strings is the
    // thread's work, not the window's.
    indexing_.start([this, ticket, &files, titles = catalogue_.titles.items(),
                     paths = catalogue_.paths.items()](std::stop_token stop) {
        // A decoder of this thread's own: the window's keeps decoding the rows it paints.
        TitleDecoder decoder(files);
        std::vector<std::string> shown;
        shown.reserve(titles.size());
        auto path = paths.begin();
        for (const std::string_view title : titles) {
            if (stop.stop_requested()) {
                return;
            }
            const bool hasPath = path != paths.end();
            shown.push_back(decoder.decode(title, hasPath ? std::string(*path) : std::string()));
            if (hasPath) {
                ++path;
            }
        }
        auto index = std::make_shared<QuickFind>(shown);
        services_.ui.post([this, ticket, index, shown = std::move(shown)]() mutable {
            if (ticket != indexTicket_ || shutDown_) {
                return;
            }
            indexedTitles_ = std::move(shown);
            quickFind_.emplace(std::move(*index));
            if (onTitlesIndexed_) {
                onTitlesIndexed_();
            }
        });
    });
}

const std::string& Reader::lastSearchText() const {
    static const std::string none;
    return resultRuns_.empty() ? none : resultRuns_.back().text;
}

const std::string& Reader::searchTextOfResult(int row) const {
    static const std::string none;
    const auto after =
        std::upper_bound(resultRuns_.begin(), resultRuns_.end(), row,
                         [](int r, const ResultRun& run) { return r < run.firstRow; });
    return after == resultRuns_.begin() ? none : std::prev(after)->text;
}

}  // namespace pelmaro
