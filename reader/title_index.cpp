#include "reader/title_index.h"

#include <memory>

#include "platform/error.h"
#include "platform/line_list.h"

namespace pelmaro {

TitleIndex::TitleIndex(Catalogue catalogue, platform::FileSystem& files, platform::UiThread& ui)
    : catalogue_(catalogue), files_(files), decoder_(files), job_(ui) {}

void TitleIndex::forget() {
    job_.drop();
    decoder_.clear();
    shown_.clear();
    quickFind_.reset();
    waiting_.clear();
}

void TitleIndex::index() {
    // What waits for the index stays: it waits for this one.
    decoder_.clear();
    shown_.clear();
    quickFind_.reset();
    platform::FileSystem& files = files_;
    // The lists' buffers are copied whole, a copy each; splitting them into strings is the
    // thread's work, not the window's.
    job_.start([this, &files, titles = catalogue_.titles.items(), paths = catalogue_.paths.items()](
                   std::stop_token stop, const BackgroundJob::Post& post) {
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
        post([this, index, shown = std::move(shown)]() mutable {
            indexed(std::move(shown), std::move(*index));
        });
    });
}

void TitleIndex::indexed(std::vector<std::string> shown, QuickFind index) {
    job_.finished();
    shown_ = std::move(shown);
    quickFind_.emplace(std::move(index));
    if (onIndexed_) {
        onIndexed_();
    }
    // Moved out first: a task that changes the catalogue clears the list it would run from.
    auto waiting = std::move(waiting_);
    waiting_.clear();
    for (auto& task : waiting) {
        task();
    }
}

void TitleIndex::whenReady(std::function<void()> task) {
    if (ready()) {
        task();
    } else {
        waiting_.push_back(std::move(task));
    }
}

const std::string& TitleIndex::shownTitle(int entry) {
    static const std::string none;
    if (entry < 0 || entry >= catalogue_.titles.count()) {
        return none;
    }
    if (static_cast<std::size_t>(entry) < shown_.size()) {
        return shown_[static_cast<std::size_t>(entry)];
    }
    const std::string path = entry < catalogue_.paths.count()
                                 ? std::string(catalogue_.paths.item(entry))
                                 : std::string();
    return decoder_.shown(entry, catalogue_.titles.item(entry), path);
}

std::string TitleIndex::shownReference(std::string_view reference) {
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
    return decoder_.decode(title, path);
}

std::optional<QuickFindResult> TitleIndex::quickFind(std::string_view query) {
    if (!quickFind_) {
        return std::nullopt;
    }
    return quickFind_->find(query);
}

}  // namespace pelmaro
