#include "bookmarks/bookmarks.h"

#include <optional>

#include "platform/error.h"

namespace pelmaro {

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
    if (unsaved_ && listLoaded_) {
        try {
            writeFile(listFile_);
        } catch (const Error& e) {
            notSaved = e;
        }
    }
    unsaved_ = false;
    listLoaded_ = false;
    stream_.clear();
    list_.clear();
    loadCurrentFile();
    if (notSaved) {
        throw *notSaved;
    }
}

void Bookmarks::writeFile(const std::string& fileName) {
    if (list_.count() > 0) {
        stream_.saveToFile(files_, fileName);
    } else {
        files_.removeFile(fileName);
    }
}

void Bookmarks::changed() {
    stream_.clear();
    stream_.write(formatLineList(list_.items()));
    unsaved_ = true;
    writeFile(listFile_);
    unsaved_ = false;
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
    list_.add(makeEntryReference(titles_.item(selected), selected));
    changed();
}

void Bookmarks::deleteSelected() {
    if (!list_.isVisible() || list_.count() == 0) {
        return;
    }
    const int selected = list_.selectedIndex();
    if (selected < 0 || !standsForCurrentFile()) {
        return;
    }
    list_.remove(selected);
    changed();
}

void Bookmarks::toggleShown() {
    list_.setVisible(!list_.isVisible());
    results_.setVisible(false);
}

void Bookmarks::shutdown() {
    if (unsaved_ && listLoaded_) {
        writeFile(listFile_);
        unsaved_ = false;
    }
}

}  // namespace pelmaro
