#include "index/index_store.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <thread>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "search/shown_text.h"

namespace pelmaro::index {

std::optional<std::string> indexFileName(platform::FileSystem& files, const std::string& pathFile,
                                         const std::string& cacheFolder) {
    const std::optional<std::string> real = files.realPath(pathFile);
    if (!real || cacheFolder.empty()) {
        return std::nullopt;
    }
    // A hash rather than the path itself: a deep path would pass the file system's limit on the
    // length of a name.
    char name[32];
    std::snprintf(name, sizeof name, "%016" PRIx64 ".trigrams", hashBytes(*real));
    return platform::childName(cacheFolder, name);
}

void removeIndexesOfGoneCatalogues(platform::FileSystem& files, const std::string& cacheFolder) {
    std::vector<platform::DirEntry> entries;
    try {
        entries = files.listFolder(cacheFolder);
    } catch (const Error&) {
        return;
    }
    for (const platform::DirEntry& entry : entries) {
        if (entry.kind != platform::DirEntry::Kind::File || !entry.name.ends_with(".trigrams")) {
            continue;
        }
        const std::string name = platform::childName(cacheFolder, entry.name);
        try {
            // The catalogue's name comes right after the header; the rest needn't be read.
            std::string head(4096, '\0');
            const auto file = files.openForReading(name);
            std::size_t got = 0;
            while (got < head.size()) {
                const std::size_t more = file->read(head.data() + got, head.size() - got);
                if (more == 0) {
                    break;
                }
                got += more;
            }
            head.resize(got);
            const std::optional<std::string> pathFile = catalogueOfIndex(head);
            if (!pathFile || !files.fileExists(*pathFile)) {
                files.removeFile(name);
            }
        } catch (const Error&) {
            // Another's file, or one gone meanwhile: left as it is.
        }
    }
}

bool storeIndex(platform::FileSystem& files, const std::string& pathFile,
                const platform::TextList& paths, const std::string& cacheFolder,
                std::stop_token stop, const BuildObserver& observer, const BuildOptions& options) {
    const std::optional<std::string> real = files.realPath(pathFile);
    const std::optional<std::string> name = indexFileName(files, pathFile, cacheFolder);
    if (!real || !name) {
        throwCannotCreate(cacheFolder.empty() ? std::string("pelmaro cache") : pathFile, ENOENT);
    }
    files.makeFolders(cacheFolder);
    std::unique_ptr<platform::FolderLock> lock;
    if (options.waitTurn) {
        constexpr auto kAskAgain = std::chrono::milliseconds(100);
        lock = files.tryLockFolder(cacheFolder);
        if (lock == nullptr) {
            if (observer.waiting) {
                observer.waiting();
            }
            const std::optional<platform::FileStamp> before = files.fileStamp(*name);
            while ((lock = files.tryLockFolder(cacheFolder)) == nullptr) {
                if (stop.stop_requested()) {
                    return false;
                }
                std::this_thread::sleep_for(kAskAgain);
            }
            // Another window of this catalogue has just stored it: built again, it would be the
            // same.
            if (files.fileStamp(*name) != before &&
                loadIndex(files, pathFile, paths, cacheFolder)) {
                return true;
            }
        }
    } else {
        lock = files.lockFolder(cacheFolder);
    }
    // What a killed writer left is of no use to anyone, nor the index of a catalogue since
    // deleted.
    for (const std::string& temporary : files.temporariesOf(*name)) {
        files.removeFile(temporary);
    }
    removeIndexesOfGoneCatalogues(files, cacheFolder);
    // Written as it is built, so that the whole file is never in memory; the unfinished file
    // goes when the build stops or fails.
    std::string temporary;
    {
        const std::unique_ptr<platform::TemporaryFile> file = files.createTemporary(*name);
        if (!writeIndex(
                files, paths, identify(*real, paths),
                [&file](std::string_view piece) { file->write(piece); }, stop, observer, options)) {
            return false;
        }
        temporary = file->keep();
    }
    try {
        files.renameFile(temporary, *name);
        files.syncFolder(cacheFolder);
    } catch (const Error&) {
        files.removeFile(temporary);
        throw;
    }
    return true;
}

std::optional<TrigramIndex> loadIndex(platform::FileSystem& files, const std::string& pathFile,
                                      const platform::TextList& paths,
                                      const std::string& cacheFolder) {
    const std::optional<std::string> name = indexFileName(files, pathFile, cacheFolder);
    if (!name || !files.fileExists(*name)) {
        return std::nullopt;
    }
    // Mapped, not read: a lookup reads only the posting lists it needs, and loading checks only
    // the parts every lookup uses.
    std::unique_ptr<platform::MappedFile> file;
    try {
        file = files.mapForReading(*name);
    } catch (const Error&) {
        return std::nullopt;  // the scan answers instead
    }
    const std::optional<std::string> real = files.realPath(pathFile);
    std::optional<TrigramIndex> index = TrigramIndex::open(std::move(file));
    if (!index || !real || index->identity() != identify(*real, paths)) {
        return std::nullopt;
    }
    return index;
}

namespace {

// Pages read again since the index was built, and what a search wants of them.
struct Reread {
    const ReindexedPages* pages = nullptr;
    std::vector<std::uint32_t> wanted;  // the search text's trigrams
};

// Whether page n's stamp, other than the index's, is that of its read again; if so, sets `holds`
// to whether it then held every trigram wanted.
bool rereadAs(const Reread& reread, std::uint32_t n,
              const std::optional<platform::FileStamp>& stamp, bool& holds) {
    if (reread.pages == nullptr || !stamp) {
        return false;
    }
    const auto found = reread.pages->find(n);
    if (found == reread.pages->end() || found->second.stamp != *stamp) {
        return false;
    }
    const std::vector<std::uint32_t>& trigrams = found->second.trigrams;
    holds =
        std::includes(trigrams.begin(), trigrams.end(), reread.wanted.begin(), reread.wanted.end());
    return true;
}

// Marks in `read` (one per page) each page the index can't vouch for any more: unvouched when
// built, or with a stamp other than the one it was indexed with (one stamp a page, read by a
// StampReader on each of several threads when the file system allows: on a million pages the
// stamps, not the posting lists, take the time), unless it was read again since with that stamp
// and did not hold what `reread` wants. Pages already marked are not looked at. Returns how many
// vouched pages changed and were not read again since.
std::size_t markChangedPages(const TrigramIndex& index, platform::FileSystem& files,
                             const platform::TextList& paths, std::vector<char>& read,
                             const std::vector<std::uint32_t>* onlyStamps,
                             const Reread& reread = {}) {
    // Marks vouched page n by its stamp of now; true when it changed and was not read again since.
    const auto changedSince = [&](std::uint32_t n, const std::optional<platform::FileStamp>& stamp,
                                  const PageRecord& record) {
        bool holds = false;
        if (stamp == record.stamp) {
            return false;
        }
        if (rereadAs(reread, n, stamp, holds)) {
            read[n] = holds ? 1 : 0;
            return false;
        }
        read[n] = 1;
        return true;
    };
    if (onlyStamps != nullptr) {
        // A watch of the tree vouches for the pages it did not see change.
        for (std::size_t n = 0; n < read.size(); ++n) {
            read[n] = read[n] != 0 || !index.pages()[n].vouched ? 1 : 0;
        }
    }
    // The pages looked at: every one, a folder's together, or those the watch can't vouch for
    // (at times all of them, in a tree of hard links).
    const std::vector<std::uint32_t>& pages =
        onlyStamps != nullptr ? *onlyStamps : index.stampOrder();
    const std::size_t count = pages.size();
    // Threads take runs of pages as they go: a stat's time varies with the other work of the
    // machine, and a fixed half each left one thread idle for a fifth of the time.
    constexpr std::size_t kPagesPerRun = 1024;
    constexpr std::size_t kPrefetchPages = 8;
    // The names in a table when there are many to look at: a TextList walks to its nth one.
    const std::vector<std::string_view> list =
        count > kPagesPerRun ? std::vector<std::string_view>(paths.begin(), paths.end())
                             : std::vector<std::string_view>();
    std::atomic<std::size_t> changed = 0;
    std::atomic<std::size_t> nextRun = 0;
    const auto check = [&] {
        const std::unique_ptr<platform::StampReader> stamps = files.stampReader();
        std::size_t mine = 0;
        for (std::size_t from = 0; (from = nextRun.fetch_add(kPagesPerRun)) < count;) {
            const std::size_t to = std::min(count, from + kPagesPerRun);
            for (std::size_t i = from; i < to; ++i) {
                // A folder's pages lie all over the catalogue: the records and names of those a
                // few ahead are asked for early, not waited for one by one.
                if (i + kPrefetchPages < to && !list.empty()) {
                    if (const std::size_t ahead = pages[i + kPrefetchPages]; ahead < read.size()) {
                        __builtin_prefetch(&read[ahead]);
                        __builtin_prefetch(&list[ahead]);
                        index.pages().prefetch(ahead);
                    }
                    if (const std::size_t ahead = pages[i + kPrefetchPages / 2];
                        ahead < read.size()) {
                        __builtin_prefetch(list[ahead].data());
                    }
                }
                const std::size_t n = pages[i];
                if (n >= read.size() || read[n] != 0) {
                    continue;
                }
                const PageRecord record = index.pages()[n];
                if (!record.vouched) {
                    read[n] = 1;
                    continue;
                }
                const std::string_view name = list.empty() ? paths[n] : list[n];
                mine += changedSince(static_cast<std::uint32_t>(n), stamps->stamp(name), record)
                            ? 1
                            : 0;
            }
        }
        changed += mine;
    };
    // More threads than cores: on a cold cache each stat waits for the disk to read the page's
    // inode, and the waits of several overlap (195,320 pages: 1.5 s on two threads, 1.0 s on
    // eight); on a warm one the extra threads cost nothing that could be measured.
    constexpr unsigned kLeastStampThreads = 8;
    const std::size_t threads =
        files.threadSafeReads()
            ? std::clamp<std::size_t>(
                  count / kPagesPerRun, 1,
                  std::max(kLeastStampThreads, std::thread::hardware_concurrency()))
            : 1;
    {
        std::vector<std::jthread> helpers;
        for (std::size_t t = 1; t < threads; ++t) {
            helpers.emplace_back(check);
        }
        check();
    }
    return changed;
}

}  // namespace

std::optional<CandidatePages> candidatePages(const TrigramIndex& index, platform::FileSystem& files,
                                             const platform::TextList& paths, std::string_view text,
                                             std::size_t* changed,
                                             const std::vector<std::uint32_t>* onlyStamps,
                                             const ReindexedPages* reindexed) {
    const std::string folded = foldShownText(text);
    if (folded.size() < 3 || index.pages().size() != paths.size()) {
        return std::nullopt;
    }
    const std::optional<CandidatePages> holding = index.pagesHolding(folded);
    // When most pages may hold it, the search reads every page (searchFiles), and their stamps
    // needn't be looked at: a million of them take a second.
    if (!holding || holding->size() * 2 > paths.size()) {
        return std::nullopt;
    }
    std::vector<char> read(paths.size(), 0);
    for (const std::uint32_t n : *holding) {
        read[n] = 1;
    }
    const Reread reread{
        .pages = reindexed,
        .wanted = reindexed != nullptr ? distinctTrigrams(folded) : std::vector<std::uint32_t>{}};
    // A page read again since speaks for itself while its stamp is the one it was read with,
    // though the index says it held the text.
    if (reindexed != nullptr) {
        for (const auto& [n, page] : *reindexed) {
            if (n < read.size() && read[n] != 0) {
                const std::optional<platform::FileStamp> stamp =
                    files.fileStamp(std::string(paths[n]));
                bool holds = true;
                if (stamp != index.pages()[n].stamp && rereadAs(reread, n, stamp, holds)) {
                    read[n] = holds ? 1 : 0;
                }
            }
        }
    }
    const std::size_t changedPages =
        markChangedPages(index, files, paths, read, onlyStamps, reread);
    if (changed != nullptr) {
        *changed = changedPages;
    }
    CandidatePages candidates;
    for (std::size_t n = 0; n < read.size(); ++n) {
        if (read[n] != 0) {
            candidates.push_back(static_cast<std::uint32_t>(n));
        }
    }
    return candidates;
}

std::vector<std::uint32_t> changedPages(const TrigramIndex& index, platform::FileSystem& files,
                                        const platform::TextList& paths) {
    std::vector<std::uint32_t> changed;
    const bool sameCount = index.pages().size() == paths.size();
    std::vector<char> read(paths.size(), 0);
    if (sameCount) {
        // The pages it never vouched for are read anyway: only the changed ones are told.
        for (std::size_t n = 0; n < read.size(); ++n) {
            read[n] = index.pages()[n].vouched ? 0 : 2;
        }
        markChangedPages(index, files, paths, read, nullptr);
    }
    for (std::size_t n = 0; n < read.size(); ++n) {
        if (!sameCount || read[n] == 1) {
            changed.push_back(static_cast<std::uint32_t>(n));
        }
    }
    return changed;
}

std::vector<std::uint32_t> changedPages(const TrigramIndex& index, platform::FileSystem& files,
                                        const platform::TextList& paths,
                                        const std::vector<std::uint32_t>& among) {
    const bool sameCount = index.pages().size() == paths.size();
    std::vector<std::uint32_t> changed;
    for (const std::uint32_t n : among) {
        if (n >= paths.size()) {
            continue;
        }
        const PageRecord record = sameCount ? index.pages()[n] : PageRecord{};
        if (!sameCount ||
            (record.vouched && files.fileStamp(std::string(paths[n])) != record.stamp)) {
            changed.push_back(n);
        }
    }
    return changed;
}

std::vector<std::uint32_t> pagesWithOtherNames(const TrigramIndex& index) {
    std::vector<std::uint32_t> pages;
    for (std::size_t n = 0; n < index.pages().size(); ++n) {
        const PageRecord record = index.pages()[n];
        if (record.vouched && record.stamp.names > 1) {
            pages.push_back(static_cast<std::uint32_t>(n));
        }
    }
    return pages;
}

}  // namespace pelmaro::index
