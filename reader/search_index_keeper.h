#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "index/index_builder.h"
#include "index/trigram_index.h"
#include "platform/file_system.h"
#include "platform/text_list.h"
#include "platform/window.h"
#include "reader/background_job.h"

namespace pelmaro {

// Below this many pages a full-text search reads every page about as fast as it looks up an
// index (measured: 500 pages of 10 kB in 16 ms either way, 1,000 in 28 ms against 14 ms), and
// an index would only take disk and a core.
inline constexpr std::size_t kIndexWorthFromPages = 1000;

// Where a reader keeps its search indexes, and when it makes one.
struct SearchIndexPlace {
    // platform::defaultCacheFolder() in the program; empty: no index is made.
    std::string cacheFolder;
    std::size_t worthFromPages = kIndexWorthFromPages;
    index::BuildOptions build = {};
};

// Keeps the search index of the catalogue shown, for the full-text search to narrow the pages
// it reads. A stored catalogue of enough pages has its index loaded, or built when there is none
// to trust, on a thread of its own at the lowest priority; once it is ready, searches use it.
// Until then, and when it can't be had at all (a full disk, a cache that can't be written),
// they read every page as before. Pages changed since the index was built are read by each
// search, and the index is built again in the background. Runs on the window's thread.
class SearchIndexKeeper {
public:
    SearchIndexKeeper(platform::FileSystem& files, platform::UiThread& ui, SearchIndexPlace place);

    // The catalogue shown is the one stored in `pathFile`, listing `paths`; an empty `pathFile`
    // (a build not saved) has no index. What was kept or built for another goes.
    void follow(const std::string& pathFile, const platform::TextList& paths);
    // No catalogue any more (the window closes): the work stops, and what it built is not stored.
    void forget();
    // A search found `changed` pages changed since the index was built: it is built again, in
    // the background, while the old one still narrows the searches.
    void pagesChanged(std::size_t changed);

    // The index ready to narrow a search of the catalogue followed; null while there is none.
    std::shared_ptr<const index::TrigramIndex> ready() const { return ready_; }
    // What the status line says of it: "indexing for search: 12,300 of 102,700 pages", or why
    // there is none ("search index not kept: ..."); empty otherwise.
    const std::string& note() const { return note_; }
    // Runs whenever ready() or note() changes.
    void setOnChanged(std::function<void()> onChanged) { onChanged_ = std::move(onChanged); }

private:
    // Loads the stored index, building it first when there is none to trust (or `rebuild`).
    void load(bool rebuild);
    void setNote(std::string note);
    void changed();

    platform::FileSystem& files_;
    SearchIndexPlace place_;
    std::string pathFile_;
    platform::TextList paths_;
    bool building_ = false;
    std::shared_ptr<const index::TrigramIndex> ready_;
    std::string note_;
    std::function<void()> onChanged_;
    // Last: its threads end before the rest goes.
    BackgroundJob job_;
};

}  // namespace pelmaro
