#include "reader/search_index_keeper.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <tuple>
#include <unordered_set>
#include <utility>

#include "index/index_store.h"
#include "platform/byte_text.h"
#include "platform/thread_priority.h"

namespace pelmaro {
namespace {

// The status line is a repaint each time it changes.
constexpr auto kProgressInterval = std::chrono::milliseconds(250);

}  // namespace

std::optional<WatchedPages> WatchedPages::watch(platform::FileSystem& files,
                                                const platform::TextList& paths) {
    WatchedPages watched;
    // A page that is itself a link is looked at by stamp at every search: a watch of its folder
    // would not see its target change. Links are found a folder listing at a time, not a
    // system call a page.
    std::unordered_map<std::string_view, std::optional<std::unordered_set<std::string>>> folders;
    for (const std::string_view path : paths) {
        folders.try_emplace(platform::folderPart(path));
    }
    for (auto& [folder, links] : folders) {
        if (std::optional<std::vector<std::string>> names =
                files.symbolicLinksIn(std::string(folder))) {
            links.emplace(names->begin(), names->end());
        }
    }
    std::uint32_t n = 0;
    for (const std::string_view path : paths) {
        const std::optional<std::unordered_set<std::string>>& links =
            folders.find(platform::folderPart(path))->second;
        const bool link = links ? !links->empty() &&
                                      links->contains(std::string(path.substr(path.rfind('/') + 1)))
                                : files.isSymbolicLink(std::string(path));
        if (link) {
            watched.unseen_.push_back(n);
        }
        ++n;
    }
    std::vector<std::string> real;
    for (const auto& [folder, unused] : folders) {
        const std::optional<std::string> realFolder = files.realPath(std::string(folder));
        if (!realFolder) {
            return std::nullopt;
        }
        auto& names = watched.namesOfFolder_[*realFolder];
        if (names.empty()) {
            real.push_back(*realFolder);
        }
        names.emplace_back(folder);
    }
    watched.watch_ = files.watchFolders(real);
    if (!watched.watch_) {
        return std::nullopt;
    }
    return watched;
}

std::vector<std::uint32_t> WatchedPages::watchFiles(const platform::TextList& paths,
                                                    const index::TrigramIndex& index,
                                                    const std::vector<std::uint32_t>& pages) {
    // The pages of each file together, by the file's identity when the index read it.
    std::vector<std::tuple<std::uint64_t, std::uint64_t, std::uint32_t>> byFile;
    byFile.reserve(pages.size());
    for (const std::uint32_t n : pages) {
        const platform::FileStamp stamp = index.pages()[n].stamp;
        byFile.emplace_back(stamp.device, stamp.inode, n);
    }
    std::sort(byFile.begin(), byFile.end());
    std::vector<std::uint32_t> unwatched;
    std::size_t watchedFiles = 0;
    for (std::size_t i = 0; i < byFile.size();) {
        std::size_t j = i + 1;
        while (j < byFile.size() && std::get<0>(byFile[j]) == std::get<0>(byFile[i]) &&
               std::get<1>(byFile[j]) == std::get<1>(byFile[i])) {
            ++j;
        }
        const std::string name(paths[std::get<2>(byFile[i])]);
        const bool watchedItself =
            watchedFiles < kSharedFilesWatchedAtMost && watch_->watchFile(name);
        watchedFiles += watchedItself ? 1 : 0;
        std::vector<std::uint32_t>& told = watchedItself ? pagesOfFile_[name] : unwatched;
        for (; i < j; ++i) {
            told.push_back(std::get<2>(byFile[i]));
        }
    }
    std::sort(unwatched.begin(), unwatched.end());
    return unwatched;
}

bool WatchedPages::gather(const platform::TextList& paths, const PathIndex& pages,
                          std::unordered_set<std::uint32_t>& changed) {
    const std::optional<std::vector<std::string>> names = watch_->changes();
    if (!names) {
        return false;
    }
    for (const std::string& name : *names) {
        if (const auto file = pagesOfFile_.find(name); file != pagesOfFile_.end()) {
            changed.insert(file->second.begin(), file->second.end());
        }
        const auto folder = namesOfFolder_.find(std::string(platform::folderPart(name)));
        if (folder == namesOfFolder_.end()) {
            continue;
        }
        const std::string_view file = std::string_view(name).substr(name.rfind('/') + 1);
        for (const std::string& catalogueFolder : folder->second) {
            const int page =
                pages.find(paths, platform::childName(catalogueFolder, std::string(file)));
            if (page >= 0) {
                changed.insert(static_cast<std::uint32_t>(page));
            }
        }
    }
    return true;
}

SearchIndexKeeper::SearchIndexKeeper(platform::FileSystem& files, platform::UiThread& ui,
                                     const PathIndex& pages, SearchIndexPlace place)
    : files_(files), pages_(pages), place_(std::move(place)), job_(ui) {}

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
    sharingFiles_.clear();
    watched_.reset();
    changed_.clear();
    sinceRebuild_.clear();
    reindexed_.reset();
    note_.clear();
    if (had) {
        changed();
    }
}

void SearchIndexKeeper::pagesChanged(std::size_t changed) {
    if (changed == 0 || building_ || pathFile_.empty()) {
        return;
    }
    // While the tree is watched, the pages that changed are known: a few of them are read again
    // and kept beside the index, which a change to one page of a million would otherwise have
    // built again whole. Without a watch, or with many, it is built again.
    if (ready_ && watched_ && gather() && changed_.size() <= place_.reindexAtMost) {
        if (!job_.current()) {
            reindex();  // else the next search finds what this one leaves
        }
        return;
    }
    load(true);
}

void SearchIndexKeeper::reindex() {
    platform::FileSystem& files = files_;
    std::vector<std::uint32_t> pages = mayHaveChanged();
    job_.start(
        [this, &files, paths = paths_, pages = std::move(pages), index = ready_, known = reindexed_,
         options = place_.build, reindexAtMost = place_.reindexAtMost](
            std::stop_token stop, const BackgroundJob::Post& post) {
            platform::lowerThisThreadsPriority();
            // Those the index still vouches for need no new read, nor those it never vouched
            // for: every search reads them anyway.
            const std::vector<std::uint32_t> stale =
                index::changedPages(*index, files, paths, pages);
            if (stale.size() > reindexAtMost) {
                post([this] {
                    job_.finished();
                    load(true);
                });
                return;
            }
            auto reindexed = known ? std::make_shared<index::ReindexedPages>(*known)
                                   : std::make_shared<index::ReindexedPages>();
            if (!index::reindexPages(files, paths, stale, *reindexed, stop, options)) {
                return;
            }
            post([this, reindexed] {
                job_.finished();
                reindexed_ = reindexed;
                changed();
            });
        },
        [this](const std::string&) {
            // Pages that can't be read again are read by each search, as before.
            job_.drop();
        });
}

SearchNarrowing SearchIndexKeeper::narrowing() {
    SearchNarrowing narrowing{ready_, std::nullopt, nullptr};
    if (!ready_ || !watched_ || !gather()) {
        return narrowing;
    }
    narrowing.reindexed = reindexed_;
    narrowing.onlyStamps = mayHaveChanged();
    return narrowing;
}

std::vector<std::uint32_t> SearchIndexKeeper::mayHaveChanged() const {
    std::vector<std::uint32_t> pages(changed_.begin(), changed_.end());
    pages.insert(pages.end(), watched_->unseen().begin(), watched_->unseen().end());
    pages.insert(pages.end(), sharingFiles_.begin(), sharingFiles_.end());
    std::sort(pages.begin(), pages.end());
    pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
    return pages;
}

bool SearchIndexKeeper::gather() {
    std::unordered_set<std::uint32_t> fresh;
    if (!watched_ || !watched_->gather(paths_, pages_, fresh)) {
        // Lost track: from now on every search looks at every page's stamp.
        watched_.reset();
        changed_.clear();
        sinceRebuild_.clear();
        reindexed_.reset();
        return false;
    }
    changed_.insert(fresh.begin(), fresh.end());
    if (building_) {
        sinceRebuild_.insert(fresh.begin(), fresh.end());
    }
    return true;
}

void SearchIndexKeeper::load(bool rebuild) {
    // What changed before the build reads the pages is in the index it makes; what changes from
    // now on is not.
    if (watched_) {
        gather();
    }
    sinceRebuild_.clear();
    building_ = true;
    platform::FileSystem& files = files_;
    const bool watch = !watched_;
    job_.start(
        [this, &files, rebuild, watch, pathFile = pathFile_, paths = paths_, place = place_](
            std::stop_token stop, const BackgroundJob::Post& post) {
            platform::lowerThisThreadsPriority();
            // Watched from before the pages are checked or read: no change goes unseen.
            std::shared_ptr<WatchedPages> watched;
            if (watch) {
                if (std::optional<WatchedPages> made = WatchedPages::watch(files, paths)) {
                    watched = std::make_shared<WatchedPages>(std::move(*made));
                }
            }
            if (!rebuild) {
                std::optional<index::TrigramIndex> stored =
                    index::loadIndex(files, pathFile, paths, place.cacheFolder);
                if (stored) {
                    auto loaded = std::make_shared<const index::TrigramIndex>(std::move(*stored));
                    // Their files watched from before the pages are checked, as the folders.
                    const std::vector<std::uint32_t> shared = index::pagesWithOtherNames(*loaded);
                    std::vector<std::uint32_t> sharing =
                        watched ? watched->watchFiles(paths, *loaded, shared) : shared;
                    std::vector<std::uint32_t> changedPages =
                        index::changedPages(*loaded, files, paths);
                    post([this, loaded, watched, changedPages = std::move(changedPages),
                          sharing = std::move(sharing)]() mutable {
                        job_.finished();
                        building_ = false;
                        ready_ = loaded;
                        sharingFiles_ = std::move(sharing);
                        watched_ = watched;
                        // Pages changed while the reader was closed: read by each search until
                        // the index is built again.
                        changed_.insert(changedPages.begin(), changedPages.end());
                        changed();
                        pagesChanged(changedPages.size());
                    });
                    return;
                }
            }
            const std::string total = withThousands(paths.size());
            Throttle throttle(kProgressInterval);
            // Another window or pelmaro-cli may be storing an index in the cache: this one waits
            // its turn (two builds on the same cores would end no sooner), and takes over the
            // other's index when it is of this catalogue.
            bool waited = false;
            const index::BuildObserver observer{
                .reading =
                    [&](std::size_t n) {
                        if (throttle.due()) {
                            post([this, note = "indexing for search: " + withThousands(n) + " of " +
                                               total +
                                               " pages"]() mutable { setNote(std::move(note)); });
                        }
                    },
                .waiting =
                    [&] {
                        waited = true;
                        post([this] {
                            setNote(
                                "indexing for search: waiting for another window or "
                                "pelmaro-cli to end its indexing");
                        });
                    }};
            index::BuildOptions build = place.build;
            build.waitTurn = true;
            if (!index::storeIndex(files, pathFile, paths, place.cacheFolder, stop, observer,
                                   build)) {
                return;  // stopped: the next start builds it again
            }
            std::optional<index::TrigramIndex> built =
                index::loadIndex(files, pathFile, paths, place.cacheFolder);
            std::shared_ptr<const index::TrigramIndex> loaded;
            // An index taken over was built from pages read before this one began to watch
            // them: each page is checked against it, as at a start.
            std::vector<std::uint32_t> changedSince;
            std::vector<std::uint32_t> sharing;
            if (built) {
                loaded = std::make_shared<const index::TrigramIndex>(std::move(*built));
                // A watch made by this build watches the files of pages with other names too,
                // and their stamps are checked then: one changed through another name after it
                // was read and before its file was watched is not lost. A watch made before has
                // no such watches: their stamps are looked at by every search.
                const std::vector<std::uint32_t> shared = index::pagesWithOtherNames(*loaded);
                sharing = watched ? watched->watchFiles(paths, *loaded, shared) : shared;
                if (waited) {
                    changedSince = index::changedPages(*loaded, files, paths);
                } else if (watched) {
                    changedSince = index::changedPages(*loaded, files, paths, shared);
                }
            }
            post([this, loaded, watched, changedSince = std::move(changedSince),
                  sharing = std::move(sharing)]() mutable {
                job_.finished();
                if (watched) {
                    watched_ = watched;
                }
                if (watched_) {
                    gather();
                }
                building_ = false;
                if (loaded) {
                    ready_ = loaded;
                    sharingFiles_ = std::move(sharing);
                    // The new index has read every page changed before it began.
                    changed_ = std::move(sinceRebuild_);
                    sinceRebuild_.clear();
                    reindexed_.reset();
                    changed_.insert(changedSince.begin(), changedSince.end());
                }
                note_ = loaded ? std::string() : "search index not kept: it could not be read back";
                changed();
                // Pages changed since the index taken over was built: read again, or the index
                // built again.
                pagesChanged(changedSince.size());
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
