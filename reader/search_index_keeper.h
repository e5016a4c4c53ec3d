#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "index/index_builder.h"
#include "index/trigram_index.h"
#include "platform/file_system.h"
#include "platform/folder_watch.h"
#include "platform/text_list.h"
#include "platform/window.h"
#include "reader/background_job.h"
#include "reader/path_index.h"

namespace pelmaro {

// Below this many pages a full-text search reads every page about as fast as it looks up an
// index (measured: 500 pages of 10 kB in 16 ms either way, 1,000 in 28 ms against 14 ms), and
// an index would only take disk and a core.
inline constexpr std::size_t kIndexWorthFromPages = 1000;

// How many changed pages a watched tree's index keeps read again beside it (their trigrams take
// 10 kB a page on the Python documentation, 40 kB at most); beyond that the index is built again.
inline constexpr std::size_t kReindexedPagesAtMost = 1000;

// How many files with other names a watched tree's pages may have, each watched itself; the
// pages of any more have their stamps looked at by every search. The system's limit on watches
// is shared by every program of the user (about 8,000 for each GiB of memory, by default).
inline constexpr std::size_t kSharedFilesWatchedAtMost = 65536;

// Where a reader keeps its search indexes, and when it makes one.
struct SearchIndexPlace {
    // platform::defaultCacheFolder() in the program; empty: no index is made.
    std::string cacheFolder;
    std::size_t worthFromPages = kIndexWorthFromPages;
    index::BuildOptions build = {};
    // How many changed pages of a watched tree are read again beside the index before it is
    // built again instead.
    std::size_t reindexAtMost = kReindexedPagesAtMost;
};

// How a search is narrowed: the index, and the only pages whose stamps it need look at when a
// watch of the tree vouches for the others (none: every page's).
struct SearchNarrowing {
    std::shared_ptr<const index::TrigramIndex> index;
    std::optional<std::vector<std::uint32_t>> onlyStamps;
    // Pages changed since the index was built, read again in the background.
    std::shared_ptr<const index::ReindexedPages> reindexed;
};

// A watch of the folders of a catalogue's pages, which tells the pages changed since it began.
class WatchedPages {
public:
    // Watches the folders of `paths`; std::nullopt when they can't be watched (a folder gone,
    // or more folders than the system lets a program watch).
    static std::optional<WatchedPages> watch(platform::FileSystem& files,
                                             const platform::TextList& paths);

    // Adds the pages the watch has seen change since the last call to `changed`, found in
    // `paths` through `pages`, their index; false once the watch has lost track (then any page
    // may have changed).
    bool gather(const platform::TextList& paths, const PathIndex& pages,
                std::unordered_set<std::uint32_t>& changed);
    // Pages the watch can't see change: links to files, whose targets change elsewhere.
    const std::vector<std::uint32_t>& unseen() const { return unseen_; }
    // Watches the files of `pages` themselves, pages whose files have other names (as `index`
    // tells: a change through another name is not seen in the pages' folders), one watch a
    // file, every page of a file told when it changes. Returns the pages whose files could not
    // be watched, past kSharedFilesWatchedAtMost files or the system's limit.
    std::vector<std::uint32_t> watchFiles(const platform::TextList& paths,
                                          const index::TrigramIndex& index,
                                          const std::vector<std::uint32_t>& pages);

private:
    std::unique_ptr<platform::FolderWatch> watch_;
    // The real folders watched, each with the names the catalogue gives it.
    std::unordered_map<std::string, std::vector<std::string>> namesOfFolder_;
    std::vector<std::uint32_t> unseen_;
    // Each file watched itself, by the name it was watched under, with the pages it is.
    std::unordered_map<std::string, std::vector<std::uint32_t>> pagesOfFile_;
};

// Keeps the search index of the catalogue shown, for the full-text search to narrow the pages
// it reads. A stored catalogue of enough pages has its index loaded, or built when there is none
// to trust, on a thread of its own at the lowest priority; once it is ready, searches use it.
// Until then, and when it can't be had at all (a full disk, a cache that can't be written),
// they read every page as before. Pages changed since the index was built are read by each
// search until they are read again in the background and kept beside the index (while the tree
// is watched, up to kReindexedPagesAtMost of them); else the index is built again. Runs on the
// window's thread.
class SearchIndexKeeper {
public:
    // `pages` is the index of the catalogue's paths that the reader keeps, always of the one
    // shown.
    SearchIndexKeeper(platform::FileSystem& files, platform::UiThread& ui, const PathIndex& pages,
                      SearchIndexPlace place);

    // The catalogue shown is the one stored in `pathFile`, listing `paths`; an empty `pathFile`
    // (a build not saved) has no index. What was kept or built for another goes.
    void follow(const std::string& pathFile, const platform::TextList& paths);
    // No catalogue any more (the window closes): the work stops, and what it built is not stored.
    void forget();
    // A search found `changed` pages changed since the index was built (or read again): they
    // are read again, or the index is built again, in the background, while what there is
    // still narrows the searches.
    void pagesChanged(std::size_t changed);

    // The index ready to narrow a search of the catalogue followed; null while there is none.
    std::shared_ptr<const index::TrigramIndex> ready() const { return ready_; }
    // How the next search is narrowed: the index, and while the tree is watched, the pages seen
    // to change since the index was checked (and those no watch can see).
    SearchNarrowing narrowing();
    // What the status line says of it: "indexing for search: 12,300 of 102,700 pages", or why
    // there is none ("search index not kept: ..."); empty otherwise.
    const std::string& note() const { return note_; }
    // Runs whenever ready() or note() changes.
    void setOnChanged(std::function<void()> onChanged) { onChanged_ = std::move(onChanged); }

private:
    // Loads the stored index, building it first when there is none to trust (or `rebuild`).
    void load(bool rebuild);
    // Reads the pages seen to change again, beside the index.
    void reindex();
    // Takes in what the watch has seen change; false (and the watch dropped) once it has lost
    // track.
    bool gather();
    // The pages the watch saw change, and those no watch sees (links to files elsewhere, files
    // with other names), ascending: with a watch, the only pages whose stamps may differ from the
    // index's.
    std::vector<std::uint32_t> mayHaveChanged() const;
    void setNote(std::string note);
    void changed();

    platform::FileSystem& files_;
    const PathIndex& pages_;
    SearchIndexPlace place_;
    std::string pathFile_;
    // Its jobs take copies, which share the items (platform::TextList).
    platform::TextList paths_;
    bool building_ = false;
    std::shared_ptr<const index::TrigramIndex> ready_;
    // The pages of ready_ whose files have other names and are not watched themselves: as
    // links, looked at by stamp at every search (a change through another name is not seen).
    std::vector<std::uint32_t> sharingFiles_;
    // While the tree is watched: the pages seen to change since the index in use was checked,
    // and since the one being built began to read them.
    std::shared_ptr<WatchedPages> watched_;
    std::unordered_set<std::uint32_t> changed_;
    std::unordered_set<std::uint32_t> sinceRebuild_;
    // Pages of changed_ read again since the index in use was built.
    std::shared_ptr<const index::ReindexedPages> reindexed_;
    std::string note_;
    std::function<void()> onChanged_;
    // Last: its threads end before the rest goes.
    BackgroundJob job_;
};

}  // namespace pelmaro
