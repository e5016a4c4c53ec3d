#include "bookmarks/bookmarks.h"

#include <algorithm>
#include <optional>

#include "platform/error.h"

namespace pelmaro {
namespace {

// The index of a stored bookmark, or nothing when it can't be read.
std::optional<int> indexOf(const std::string& reference) {
    try {
        return readEntryReference(reference);
    } catch (const Error&) {
        return std::nullopt;
    }
}

}  // namespace

std::vector<std::string> applyBookmarkChanges(platform::FileSystem& files,
                                              const std::string& fileName,
                                              const std::vector<BookmarkChange>& changes) {
    const auto lock = files.lockFolder(platform::folderOf(fileName));
    const bool existed = files.fileExists(fileName);
    std::vector<std::string> list;
    if (existed) {
        list = readLineListFile(files, fileName);
    }
    bool changedList = false;
    for (const BookmarkChange& change : changes) {
        if (change.kind == BookmarkChange::Kind::Add) {
            const std::optional<int> index = indexOf(change.reference);
            const bool present = std::any_of(list.begin(), list.end(), [&](const auto& item) {
                return index && indexOf(item) == index;
            });
            if (!present) {
                list.push_back(change.reference);
                changedList = true;
            }
        } else if (const auto found = std::find(list.begin(), list.end(), change.reference);
                   found != list.end()) {
            list.erase(found);
            changedList = true;
        }
    }
    if (changedList && !list.empty()) {
        files.writeFile(fileName, formatLineList(list));
    } else if (changedList) {
        files.removeFile(fileName);
    }
    return list;
}

Bookmarks::Bookmarks(platform::ListControl& titles, platform::ListControl& bookmarkList,
                     platform::ListControl& resultList, const CurrentCatalogue& current,
                     platform::Dialogs& dialogs, platform::FileSystem& files)
    : titles_(titles),
      list_(bookmarkList),
      results_(resultList),
      current_(current),
      dialogs_(dialogs),
      files_(files) {}

void Bookmarks::loadCurrentFile() {
    const std::string& name = current_.bookmarkFile();
    if (files_.fileExists(name)) {
        loadList(files_, list_, name);
    }
    listFile_ = name;
    listLoaded_ = true;
}

void Bookmarks::loadAtStart() {
    loadCurrentFile();
}

bool Bookmarks::standsForCurrentFile() const {
    return listLoaded_ && listFile_ == current_.bookmarkFile();
}

void Bookmarks::followCatalogue() {
    std::optional<Error> notSaved;
    if (!pending_.empty() && listLoaded_) {
        try {
            writePending(listFile_);
        } catch (const Error& e) {
            notSaved = e;
        }
    }
    pending_.clear();
    listLoaded_ = false;
    list_.clear();
    loadCurrentFile();
    if (notSaved) {
        throw *notSaved;
    }
}

std::vector<std::string> Bookmarks::writePending(const std::string& fileName) {
    std::vector<std::string> merged = applyBookmarkChanges(files_, fileName, pending_);
    pending_.clear();
    return merged;
}

void Bookmarks::changed(BookmarkChange change) {
    pending_.push_back(std::move(change));
    std::vector<std::string> merged = writePending(listFile_);
    if (merged != list_.items()) {
        list_.assign(std::move(merged));
    }
}

void Bookmarks::addSelectedEntry() {
    const int selected = titles_.selectedIndex();
    if (selected < 0) {
        return;
    }
    if (current_.bookmarkFile().empty() || !current_.shownIsStored()) {
        dialogs_.showMessage(kCatalogueNotSavedMessage);
        return;
    }
    if (!standsForCurrentFile()) {
        // Start-up ended before the bookmarks were loaded (the list is empty then): take in what
        // the file holds first, so that writing the list keeps it.
        list_.clear();
        loadCurrentFile();
    }
    for (const auto& item : list_.items()) {
        if (readEntryReference(item) == selected) {
            return;
        }
    }
    std::string reference = makeEntryReference(titles_.item(selected), selected);
    list_.add(reference);
    changed({BookmarkChange::Kind::Add, std::move(reference)});
}

void Bookmarks::deleteSelected() {
    if (!list_.isVisible() || list_.count() == 0) {
        return;
    }
    const int selected = list_.selectedIndex();
    if (selected < 0 || !standsForCurrentFile()) {
        return;
    }
    std::string reference(list_.item(selected));
    list_.remove(selected);
    changed({BookmarkChange::Kind::Remove, std::move(reference)});
}

void Bookmarks::toggleShown() {
    list_.setVisible(!list_.isVisible());
    results_.setVisible(false);
}

void Bookmarks::shutdown() {
    if (!pending_.empty() && listLoaded_) {
        writePending(listFile_);
    }
}

}  // namespace pelmaro
