#pragma once

#include <cstddef>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "index/index_builder.h"
#include "index/trigram_index.h"
#include "platform/file_system.h"
#include "platform/text_list.h"
#include "search/full_text_search.h"

// Where a catalogue's index lives and how a search uses it. The index is a cache: it lives
// outside the catalogue's tree (read-only trees work), and deleting it loses nothing.
namespace pelmaro::index {

// The index file of the catalogue whose ".path" file is `pathFile`, in `cacheFolder`
// (platform::defaultCacheFolder() in the programs), named after a hash of the ".path" file's
// real path; std::nullopt when either is unknown.
std::optional<std::string> indexFileName(platform::FileSystem& files, const std::string& pathFile,
                                         const std::string& cacheFolder);

// Builds the index of the catalogue (`paths` as loaded from `pathFile`) and stores it, replacing
// the one there: written to a temporary file, on the disk, then renamed, so a kill or a full disk
// leaves the old one or none, never a torn one. One writer at a time: the cache folder is locked
// meanwhile. The indexes of catalogues since deleted go on the way. False when stopped (nothing is
// stored). Fails with an Error ("Cannot create file
// "%s". %s", "Cannot lock folder "%s". %s" unless options.waitTurn, ...).
bool storeIndex(platform::FileSystem& files, const std::string& pathFile,
                const platform::TextList& paths, const std::string& cacheFolder,
                std::stop_token stop, const BuildObserver& observer = {},
                const BuildOptions& options = {});

// Deletes the index files in `cacheFolder` whose catalogue's ".path" file is gone, and those that
// are not index files of this version at all.
void removeIndexesOfGoneCatalogues(platform::FileSystem& files, const std::string& cacheFolder);

// The stored index of this very catalogue, or std::nullopt when there is none to trust: missing,
// unreadable, torn, of another version, or made for another catalogue or another build of it.
std::optional<TrigramIndex> loadIndex(platform::FileSystem& files, const std::string& pathFile,
                                      const platform::TextList& paths,
                                      const std::string& cacheFolder);

// The pages a search for `text` must read: those whose indexed text may hold it, and every page
// the index can't vouch for (changed, added or gone since, by one fileStamp each); ascending.
// std::nullopt when every page must be read, or most pages may hold it (then no stamp is looked
// at, and `changed` is left as it is). `changed`, when given, is set to how many pages the
// index vouched for have changed since: they are read, and worth indexing again. With
// `onlyStamps`, a watch of the tree has seen every page that may have changed since the index
// was last checked whole (changedPages): only those pages' stamps are looked at. A changed page
// that `reindexed` holds with its stamp of now is read only when its trigrams then may hold the
// text, and is not counted in `changed`.
std::optional<CandidatePages> candidatePages(const TrigramIndex& index, platform::FileSystem& files,
                                             const platform::TextList& paths, std::string_view text,
                                             std::size_t* changed = nullptr,
                                             const std::vector<std::uint32_t>* onlyStamps = nullptr,
                                             const ReindexedPages* reindexed = nullptr);

// The pages the index vouched for that have changed, been replaced or gone since it was built
// (one fileStamp each, as candidatePages), ascending; every page when it lists another number
// of pages.
std::vector<std::uint32_t> changedPages(const TrigramIndex& index, platform::FileSystem& files,
                                        const platform::TextList& paths);
// The same among `among` alone (ascending), one fileStamp each.
std::vector<std::uint32_t> changedPages(const TrigramIndex& index, platform::FileSystem& files,
                                        const platform::TextList& paths,
                                        const std::vector<std::uint32_t>& among);
// The pages the index vouched for whose files had other names (hard links) when it read them,
// ascending: a change made through another name raises no event in a watch of the catalogue's
// folders.
std::vector<std::uint32_t> pagesWithOtherNames(const TrigramIndex& index);

}  // namespace pelmaro::index
