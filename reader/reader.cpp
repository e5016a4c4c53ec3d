#include "reader/reader.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>

#include "catalogue/catalogue_builder.h"
#include "catalogue/catalogue_files.h"
#include "platform/byte_text.h"
#include "platform/error.h"
#include "platform/file_names.h"
#include "platform/line_list.h"
#include "platform/linked_folders.h"

namespace pelmaro {
namespace {

// How often a build tells the window how far it has come: its caption counts names quickly.
constexpr auto kBuildProgressInterval = std::chrono::milliseconds(20);

}  // namespace

Reader::Reader(ReaderServices services)
    : services_(services),
      catalogue_{services.titles, services.paths},
      session_(catalogue_, current_, services.settings, services.files),
      titleSearch_(services.titles, services.dialogs, [this] { showSelectedPage(); }),
      bookmarks_(services.titles, services.bookmarks, services.results, current_, services.dialogs,
                 services.files),
      searchIndex_(services.files, services.ui, pathIndex_, services.searchIndexes),
      titleIndex_(catalogue_, services.files, services.ui),
      fullText_(
          {services.titles, services.paths, services.bookmarks, services.results, services.window,
           services.dialogs, services.files, services.fullSearchCommand, services.ui},
          [this] { commandEnded(); }),
      catalogueJob_(services.ui),
      saveJob_(services.ui) {
    current_.setOnSwitch([this] { bookmarks_.followCatalogue(); });
    // The folder lock a bookmark change takes may be held by a save or another window.
    bookmarks_.writeInTheBackground(services.ui);
    fullText_.setOnPagesChanged([this](std::size_t changed) {
        if (!shutDown_) {
            searchIndex_.pagesChanged(changed);
        }
    });
    // The window's result heading counts the rows as a search adds them.
    fullText_.setOnRowsAdded([this] { notifyBusy(); });
    titleSearch_.setShownTitle(
        [this](int entry) -> const std::string& { return titleIndex_.shownTitle(entry); });
}

Reader::~Reader() {
    // The window is gone: a save that the close left running is waited for here, so that the
    // files it writes are whole and "last" names the catalogue on disk afterwards.
    saveJob_.wait();
    if (!shutDown_ || !unappliedSave_ || !*unappliedSave_) {
        return;
    }
    try {
        current_.restore((*unappliedSave_)->bookmarkFile);
        session_.save();
    } catch (const std::exception&) {
        // Nothing is left to say it in; the next start opens the catalogue "last" still names.
    }
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
            useCatalogueFolder(
                scannedFolderOf(services_.files, deriveName(current_.bookmarkFile(), ".path")));
            showSelectedPage();
        });
    } catch (...) {
        failure = std::current_exception();
    }
    catalogueReplaced(PathIndex(catalogue_.paths.items()));
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
    // nothing more. None of it is waited for here.
    catalogueJob_.drop();
    saveJob_.drop();
    titleIndex_.forget();
    searchIndex_.setOnChanged({});
    searchIndex_.forget();
    fullText_.drop();
    activity_ = Activity::Idle;
    session_.save();
    bookmarks_.shutdown();
}

void Reader::begin(Activity activity) {
    activity_ = activity;
    notifyBusy();
}

void Reader::commandEnded() {
    if (shutDown_) {
        return;  // the window closes: nothing starts any more
    }
    notifyBusy();
    if (indexAfterCommand_ && !busy()) {
        indexAfterCommand_ = false;
        titleIndex_.index();
    }
}

void Reader::notifyBusy() {
    if (onBusyChanged_) {
        onBusyChanged_();
    }
}

void Reader::fail(const std::string& message) {
    catalogueJob_.drop();
    saveJob_.drop();
    activity_ = Activity::Idle;
    commandEnded();
    // Called from a posted task: the error box is then a nested event loop inside it, and the
    // window's close cancels the box before the task returns.
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
    catalogueJob_.start(
        [this, folder, &window, &files, dataFolder = services_.dataFolder](
            std::stop_token stop, const BackgroundJob::Post& post) {
            Throttle throttle(kBuildProgressInterval);
            std::size_t lastShown = SIZE_MAX;
            const auto titling = [&](std::size_t done, std::size_t total) {
                // "loading N" counts the names titled so far, up to the last one.
                const std::size_t shown = std::min(done, total - 1);
                if (shown != lastShown && (done + 1 >= total || throttle.due())) {
                    lastShown = shown;
                    post([&window, shown] {
                        window.setCaption("loading " + std::to_string(shown));
                    });
                }
            };
            IgnoreRules keptLeftOut;
            addIgnoreFile(files, keptIgnoreFile(files, folder, dataFolder), keptLeftOut);
            BuiltCatalogue built = buildCatalogue(files, folder, stop, {{}, titling}, keptLeftOut);
            if (built.result == BuildResult::NoFiles) {
                post([this, &window] {
                    catalogueJob_.finished();
                    window.setCaption("no files");
                    activity_ = Activity::Idle;
                    commandEnded();
                });
            } else if (built.result == BuildResult::Built) {
                PathIndex index(built.paths);
                post([this, folder, titles = std::move(built.titles),
                      paths = std::move(built.paths), index = std::move(index)]() mutable {
                    catalogueJob_.finished();
                    finishBuild(folder, std::move(titles), std::move(paths), std::move(index));
                });
            }
        },
        [this](const std::string& message) { fail(message); });
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
    useCatalogueFolder(folder);
    catalogue_.paths.assign(std::move(paths));
    catalogue_.titles.assign(std::move(titles));
    catalogueReplaced(std::move(index));
    announceCatalogue();
    services_.window.setCaption("sorting..." + std::to_string(m) + " total is " +
                                std::to_string(m));
    // A posted task (the build's end): the question is a nested event loop inside it. Closing the
    // window answers it No, so a build cut short by the close saves nothing.
    if (!services_.dialogs.askYesNo(
            "Information", "save the result ?that last time can open it or load it auto")) {
        activity_ = Activity::Idle;
        commandEnded();
        return;
    }
    saveBuild(folder, std::move(savedTitles), std::move(savedPaths));
}

void Reader::saveBuild(const std::string& folder, std::vector<std::string> titles,
                       std::vector<std::string> paths) {
    platform::FileSystem& files = services_.files;
    auto outcome = std::make_shared<std::optional<SavedCatalogue>>();
    unappliedSave_ = outcome;
    // The save ignores its stop token: a pair of files is replaced whole or not at all, and
    // stopping between the two would leave the old pair. It ends on its own.
    saveJob_.start(
        [this, folder, &files, titles = std::move(titles), paths = std::move(paths),
         dataFolder = services_.dataFolder,
         outcome](std::stop_token, const BackgroundJob::Post& post) {
            *outcome = saveCatalogue(files, folder, titles, paths, dataFolder);
            post([this, outcome] {
                saveJob_.finished();
                const SavedCatalogue saved = std::move(**outcome);
                outcome->reset();  // applied here: the destructor has nothing left to name
                activity_ = Activity::Idle;
                commandEnded();
                if (saved.keptElsewhere) {
                    services_.window.setCaption(keptElsewhereNote(saved));
                }
                current_.switchTo(saved.bookmarkFile);
                announceCatalogue();
            });
        },
        [this](const std::string& message) { fail(message); });
}

// Opening

void Reader::openStored() {
    if (busy()) {
        return;
    }
    // The catalogues of folders that can't be written are kept in the data folder, which lies
    // in a hidden one.
    const auto chosen = services_.dialogs.openFile("select saved path database file",
                                                   {{"*.path", "*.path"}, {"*.*", "*.*"}},
                                                   currentFolder(), {services_.dataFolder});
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
    catalogueJob_.start(
        [this, pathFile, titleFile, &files](std::stop_token, const BackgroundJob::Post& post) {
            StoredCatalogue stored = loadCataloguePair(files, titleFile, pathFile);
            PathIndex index(stored.paths);
            std::string folder = scannedFolderOf(files, pathFile);
            post([this, pathFile, folder = std::move(folder), stored = std::move(stored),
                  index = std::move(index)]() mutable {
                catalogueJob_.finished();
                finishOpen(pathFile, folder, std::move(stored), std::move(index));
            });
        },
        [this](const std::string& message) { fail(message); });
}

void Reader::finishOpen(const std::string& pathFile, const std::string& folder,
                        StoredCatalogue stored, PathIndex index) {
    activity_ = Activity::Idle;
    commandEnded();
    useCatalogueFolder(folder);
    catalogue_.titles.assign(std::move(stored.titles));
    catalogue_.paths.assign(std::move(stored.paths));
    catalogueReplaced(std::move(index));
    current_.switchTo(deriveName(pathFile, ".bookmark"));
    announceCatalogue();
}

void Reader::catalogueReplaced(PathIndex index) {
    pathIndex_ = std::move(index);
    fullText_.clear();
    titleIndex_.forget();
    // Indexing while a build still saves its files would take a core from it: the index waits
    // for the command to end.
    if (busy()) {
        indexAfterCommand_ = true;
    } else {
        titleIndex_.index();
    }
}

void Reader::useCatalogueFolder(const std::string& folder) {
    catalogueFolder_ = folder;
    services_.page.setCatalogueFolder(folder);
}

void Reader::leaveFolderOut(const std::string& folderName) {
    const std::string& root = catalogueFolder_;
    if (busy() || root.empty() || folderName.size() <= root.size() ||
        !platform::isWithinFolder(folderName, root)) {
        return;  // not a folder below the one the catalogue was built from
    }
    const std::string relative = folderName.substr(root.size() + (root.back() == '/' ? 0 : 1));
    if (!services_.dialogs.askYesNo(
            "Leave out",
            "Leave \u201c" + relative +
                "\u201d out of this catalogue? It is built again without it; \u201cBring back "
                "what was left out\u201d in the contents takes it back.")) {
        return;
    }
    pelmaro::leaveFolderOut(services_.files, root, relative, services_.dataFolder);
    buildFolder(root);
}

void Reader::bringBackLeftOut() {
    if (busy() || catalogueFolder_.empty()) {
        return;
    }
    if (bringBackFoldersLeftOut(services_.files, catalogueFolder_, services_.dataFolder)) {
        buildFolder(catalogueFolder_);
    }
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
    // Only a stored catalogue has an index: it is named after its ".path" file.
    const bool stored = current_.shownIsStored() && !current_.bookmarkFile().empty();
    searchIndex_.follow(stored ? deriveName(current_.bookmarkFile(), ".path") : std::string(),
                        catalogue_.paths.items());
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
    std::string status = (name.empty() ? "" : name + ", ") +
                         withThousands(static_cast<std::size_t>(count)) +
                         (count == 1 ? " entry" : " entries");
    if (const std::string& note = searchIndex_.note(); !note.empty()) {
        status += " \u2014 " + note;
    }
    return status;
}

// Searching titles

void Reader::findNext() {
    titleIndex_.whenReady([this] { titleSearch_.findNext(); });
}

void Reader::findFromTop() {
    titleIndex_.whenReady([this] { titleSearch_.findFromTop(); });
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
    if (searching()) {
        fullText_.stop();
    } else if (!busy()) {
        // Not during a build or an Open: they change the catalogue the search would walk.
        fullText_.start(searchIndex_.narrowing());
    }
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
        if (searchResults) {
            catalogue_.titles.select(readEntryReference(overlay.item(selected)));
            showSelected(findTextOf(fullText_.textOfRow(selected)));
        } else {
            const int entry = entryOfBookmark(overlay.item(selected));
            if (entry < 0) {
                services_.dialogs.showMessage(kStaleBookmarkMessage);
                return;
            }
            catalogue_.titles.select(entry);
            showSelected({});
        }
    }
    overlay.setVisible(false);
}

int Reader::entryOfBookmark(std::string_view reference) const {
    // The reference's index is checked as before (an error for one that is no number); its title
    // part is whatever precedes the last "|", bytes as the bookmark file keeps them.
    const int index = readEntryReference(reference);
    const std::size_t bar = reference.rfind('|');
    const std::string_view title =
        bar == std::string_view::npos ? std::string_view() : reference.substr(0, bar);
    const int count = catalogue_.titles.count();
    if (bar == std::string_view::npos ||
        (index >= 0 && index < count && catalogue_.titles.item(index) == title)) {
        return index;
    }
    // A re-save or an unsaved build has moved the entries: the nearest entry of that title.
    int best = -1;
    for (int entry = 0; entry < count; ++entry) {
        if (catalogue_.titles.item(entry) == title &&
            (best < 0 || std::abs(entry - index) < std::abs(best - index))) {
            best = entry;
        }
    }
    return best;
}

}  // namespace pelmaro
