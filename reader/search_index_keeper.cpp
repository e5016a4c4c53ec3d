#include "reader/search_index_keeper.h"

#include <chrono>
#include <optional>
#include <utility>

#include "index/index_store.h"
#include "platform/byte_text.h"
#include "platform/thread_priority.h"

namespace pelmaro {
namespace {

// The status line is a repaint each time it changes.
constexpr auto kProgressInterval = std::chrono::milliseconds(250);

}  // namespace

SearchIndexKeeper::SearchIndexKeeper(platform::FileSystem& files, platform::UiThread& ui,
                                     SearchIndexPlace place)
    : files_(files), place_(std::move(place)), job_(ui) {}

void SearchIndexKeeper::follow(const std::string& pathFile, const platform::TextList& paths) {
    if (pathFile == pathFile_ && paths == paths_ && (ready_ || job_.current())) {
        return;  // the same catalogue announced again (its bookmarks, a save of the same pairs)
    }
    forget();
    if (pathFile.empty() || paths.size() < place_.worthFromPages || place_.cacheFolder.empty()) {
        return;
    }
    pathFile_ = pathFile;
    paths_ = paths;
    load(false);
}

void SearchIndexKeeper::forget() {
    job_.drop();
    building_ = false;
    pathFile_.clear();
    paths_ = {};
    const bool had = ready_ || !note_.empty();
    ready_.reset();
    note_.clear();
    if (had) {
        changed();
    }
}

void SearchIndexKeeper::pagesChanged(std::size_t changed) {
    if (changed == 0 || building_ || pathFile_.empty()) {
        return;
    }
    load(true);
}

void SearchIndexKeeper::load(bool rebuild) {
    building_ = true;
    platform::FileSystem& files = files_;
    job_.start(
        [this, &files, rebuild, pathFile = pathFile_, paths = paths_, place = place_](
            std::stop_token stop, const BackgroundJob::Post& post) {
            platform::lowerThisThreadsPriority();
            if (!rebuild) {
                std::optional<index::TrigramIndex> stored =
                    index::loadIndex(files, pathFile, paths, place.cacheFolder);
                if (stored) {
                    auto loaded = std::make_shared<const index::TrigramIndex>(std::move(*stored));
                    const std::size_t changedPages =
                        index::countChangedPages(*loaded, files, paths);
                    post([this, loaded, changedPages] {
                        job_.finished();
                        building_ = false;
                        ready_ = loaded;
                        changed();
                        // Pages changed while the reader was closed: read by each search until
                        // the index is built again.
                        pagesChanged(changedPages);
                    });
                    return;
                }
            }
            const std::string total = withThousands(paths.size());
            Throttle throttle(kProgressInterval);
            const index::BuildObserver observer{.reading = [&](std::size_t n) {
                if (throttle.due()) {
                    post([this, note = "indexing for search: " + withThousands(n) + " of " + total +
                                       " pages"]() mutable { setNote(std::move(note)); });
                }
            }};
            if (!index::storeIndex(files, pathFile, paths, place.cacheFolder, stop, observer,
                                   place.build)) {
                return;  // stopped: the next start builds it again
            }
            std::optional<index::TrigramIndex> built =
                index::loadIndex(files, pathFile, paths, place.cacheFolder);
            std::shared_ptr<const index::TrigramIndex> loaded;
            if (built) {
                loaded = std::make_shared<const index::TrigramIndex>(std::move(*built));
            }
            post([this, loaded] {
                job_.finished();
                building_ = false;
                if (loaded) {
                    ready_ = loaded;
                }
                note_ = loaded ? std::string() : "search index not kept: it could not be read back";
                changed();
            });
        },
        [this](const std::string& message) {
            // A full disk or a cache that can't be written: searches read every page, and the
            // status line says why once.
            job_.drop();
            building_ = false;
            setNote("search index not kept: " + message);
        });
}

void SearchIndexKeeper::setNote(std::string note) {
    if (note == note_) {
        return;
    }
    note_ = std::move(note);
    changed();
}

void SearchIndexKeeper::changed() {
    if (onChanged_) {
        onChanged_();
    }
}

}  // namespace pelmaro
