#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "index/trigram_index.h"
#include "platform/file_system.h"
#include "platform/text_list.h"

namespace pelmaro::index {

struct BuildOptions {
    // About how much memory the (trigram, page) pairs may take, with their sort, before they
    // are sorted and spilled to a temporary file; the runs are merged at the end.
    std::size_t memoryBudget = std::size_t{256} << 20;
    // A page modified or changed less than this long before it is read is not vouched for then:
    // a later write in the same tick of the file system's clock would keep its stamp (a
    // modification time further ahead than this is no such tick). A build reads such pages again
    // at its end, once they are that old (a tree copied a moment before is indexed whole, not
    // read by every search after).
    std::chrono::nanoseconds tooRecent = std::chrono::seconds(2);
    // Instead, a fixed time (ns since the epoch): a page modified or changed at or after it is
    // not vouched for, nor read again.
    std::optional<std::int64_t> vouchBefore;
    // While another program (a window, pelmaro-cli) stores an index in the same cache, storeIndex
    // waits its turn, until stopped, instead of failing after a few seconds; when that program
    // leaves an index of this catalogue, it is kept and nothing is built.
    bool waitTurn = false;
};

// What a build tells as it goes, on its thread; each may be empty.
struct BuildObserver {
    // Before page n is read.
    std::function<void(std::size_t n)> reading;
    // Once, when storeIndex begins to wait for another program's turn (BuildOptions::waitTurn).
    std::function<void()> waiting;
};

// A page read again since its index was built, as a build reads it: its stamp then, and the
// distinct trigrams of its shown text, ascending.
struct ReindexedPage {
    platform::FileStamp stamp;
    std::vector<std::uint32_t> trigrams;
};
// Pages read again since an index was built, by their place in the catalogue: a search takes a
// page whose stamp is still the one here to hold what it held then.
using ReindexedPages = std::unordered_map<std::uint32_t, ReindexedPage>;

// Reads the pages `pages` of `paths` again, as a build reads them, into `into`; a page that `into`
// holds with its stamp of now is not read. A page the read can't vouch for (unreadable, changed
// while read, or too recently for its stamp to tell, see BuildOptions::tooRecent) is left out,
// so that searches read it. False when stopped.
bool reindexPages(platform::FileSystem& files, const platform::TextList& paths,
                  const std::vector<std::uint32_t>& pages, ReindexedPages& into,
                  std::stop_token stop, const BuildOptions& options = {});

// Where a build hands the index file's bytes, in order, a piece at a time.
using IndexOutput = std::function<void(std::string_view piece)>;

// Reads every page of `paths` as the full-text search reads it and writes the index file to
// `out` as it goes: the posting lists leave as they are merged, so that a million pages are
// indexed in bounded memory. False when stopped (what was written is of no use). A page that
// can't be read is indexed as unvouched, so that a search reads it (and reports it) as the scan
// does. Fails with an Error when a temporary run can't be written, or as `out` fails.
bool writeIndex(platform::FileSystem& files, const platform::TextList& paths,
                const CatalogueIdentity& identity, const IndexOutput& out, std::stop_token stop,
                const BuildObserver& observer = {}, const BuildOptions& options = {});

// The same, the index file's bytes held in memory; std::nullopt when stopped.
std::optional<std::string> buildIndex(platform::FileSystem& files, const platform::TextList& paths,
                                      const CatalogueIdentity& identity, std::stop_token stop,
                                      const BuildObserver& observer = {},
                                      const BuildOptions& options = {});

}  // namespace pelmaro::index
