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

BookmarkWriter::BookmarkWriter(platform::FileSystem& files, platform::UiThread& ui, Done done,
                               Failed failed)
    : files_(files), ui_(ui), done_(std::move(done)), failed_(std::move(failed)) {}

BookmarkWriter::~BookmarkWriter() {
    *alive_ = false;
    if (worker_.joinable()) {
        worker_.join();  // the last batches are written before the program ends
    }
}

void BookmarkWriter::write(const std::string& fileName, std::vector<BookmarkChange> changes) {
    const std::lock_guard lock(mutex_);
    queue_.push_back({fileName, std::move(changes)});
    if (!draining_) {
        draining_ = true;
        if (worker_.joinable()) {
            worker_.join();  // it has ended: draining_ was false
        }
        worker_ = std::jthread([this] { drain(); });
    }
}

void BookmarkWriter::drain() {
    for (;;) {
        Batch batch;
        {
            const std::lock_guard lock(mutex_);
            if (queue_.empty()) {
                draining_ = false;
                return;
            }
            batch = std::move(queue_.front());
            queue_.pop_front();
        }
        const std::shared_ptr<bool> alive = alive_;
        try {
            std::vector<std::string> merged =
                applyBookmarkChanges(files_, batch.fileName, batch.changes);
            ui_.post(
                [this, alive, fileName = batch.fileName, merged = std::move(merged)]() mutable {
                    if (*alive) {
                        done_(fileName, std::move(merged));
                    }
                });
        } catch (const std::exception& e) {
            ui_.post(
                [this, alive, batch = std::move(batch), message = std::string(e.what())]() mutable {
                    if (*alive) {
                        failed_(batch.fileName, std::move(batch.changes), message);
                    }
                });
        }
    }
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

void Bookmarks::writeInTheBackground(platform::UiThread& ui) {
    writer_ = std::make_unique<BookmarkWriter>(
        files_, ui,
        [this](const std::string& fileName, std::vector<std::string> merged) {
            if (--writing_[fileName] == 0) {
                writing_.erase(fileName);
                // Another window's changes show once ours are all in the file.
                if (standsForCurrentFile() && fileName == listFile_ && pending_.empty() &&
                    merged != list_.items()) {
                    list_.assign(std::move(merged));
                }
            }
        },
        [this](const std::string& fileName, std::vector<BookmarkChange> changes,
               const std::string& message) {
            if (--writing_[fileName] == 0) {
                writing_.erase(fileName);
            }
            // Kept for the next change or the end of the run, as a write that fails at once.
            if (standsForCurrentFile() && fileName == listFile_) {
                pending_.insert(pending_.begin(), changes.begin(), changes.end());
            }
            // Opened from a posted task: a nested event loop, which the window's close cancels.
            dialogs_.showError(message);
        });
}

void Bookmarks::followCatalogue() {
    std::optional<Error> notSaved;
    if (writer_ && !pending_.empty() && listLoaded_) {
        ++writing_[listFile_];
        writer_->write(listFile_, std::move(pending_));
        pending_.clear();
    }
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
    if (writer_) {
        ++writing_[listFile_];
        writer_->write(listFile_, std::move(pending_));
        pending_.clear();
        return;
    }
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
        if (writer_) {
            // Written before the program ends (the writer's end waits for it), not here.
            writer_->write(listFile_, std::move(pending_));
            pending_.clear();
            return;
        }
        writePending(listFile_);
    }
}

}  // namespace pelmaro
