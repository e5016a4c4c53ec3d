#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/text_list.h"
#include "search/full_text_search.h"

// An index of the trigrams (three bytes in a row) of each page's shown text, folded as the
// full-text search folds it (search/shown_text.h). A page whose text holds a folded search text
// holds each of its trigrams, so the pages that hold all of them are the only ones that may
// match; the search still reads each of them with the same matcher, which keeps its answer
// exactly the scan's.
namespace pelmaro::index {

// Which catalogue an index belongs to: the real path of its ".path" file and a hash of the
// paths it lists, in order. An index of another catalogue, or of an older build of this one,
// is never used.
struct CatalogueIdentity {
    std::string pathFile;
    std::uint64_t pathsHash = 0;
    std::uint32_t pageCount = 0;
    friend bool operator==(const CatalogueIdentity&, const CatalogueIdentity&) = default;
};

CatalogueIdentity identify(const std::string& realPathFile, const platform::TextList& paths);

// What the index knows of one page when it was read. An unvouched page (unreadable then, or
// changed too recently for its stamp to tell) is read by every search.
struct PageRecord {
    bool vouched = false;
    platform::FileStamp stamp;
};

// A 64-bit hash of bytes (not for security: it tells a torn or damaged file).
std::uint64_t hashBytes(std::string_view bytes, std::uint64_t seed = 0);

// The file format, little-endian:
//   "PELMTRI\n", u32 version, u32 0, u64 body size, u64 hashBytes(body)
//   body: identity (u32 length and bytes of pathFile, u64 pathsHash, u32 pageCount);
//         pageCount records (u8 vouched, i64 size, i64 mtime ns, i64 ctime ns, u64 device,
//         u64 inode); u32 trigram count, u64 size and the directory: for each trigram,
//         ascending, varints of its gap from the one before, its page count and its list's
//         size in bytes; u64 size and the posting lists, in the same order: each list's page
//         numbers ascending, as varints of the gap from the one before (the first from 0).
inline constexpr std::string_view kIndexMagic = "PELMTRI\n";
inline constexpr std::uint32_t kIndexVersion = 1;

// The ".path" file named by the start of an index file (its first few kilobytes), without
// checking the rest; std::nullopt when it is not the start of an index file of this version.
std::optional<std::string> catalogueOfIndex(std::string_view head);

// A parsed index file, held in memory.
class TrigramIndex {
public:
    // The index in `bytes`, or std::nullopt when they are not a whole, undamaged index file of
    // this version.
    static std::optional<TrigramIndex> parse(std::string bytes);

    const CatalogueIdentity& identity() const { return identity_; }
    const std::vector<PageRecord>& pages() const { return pages_; }
    std::size_t trigramCount() const { return entries_.size(); }

    // The pages whose text holds every trigram of `folded` (shown-text form), ascending; every
    // page when it is shorter than three bytes. std::nullopt when a posting list is damaged.
    std::optional<CandidatePages> pagesHolding(std::string_view folded) const;

private:
    struct Entry {
        std::uint32_t trigram = 0;
        std::uint32_t count = 0;
        std::uint64_t offset = 0;
    };

    // A posting list decoded; false when it is damaged.
    bool decode(const Entry& entry, CandidatePages& out) const;

    std::string bytes_;
    CatalogueIdentity identity_;
    std::vector<PageRecord> pages_;
    std::vector<Entry> entries_;
    std::size_t postingsAt_ = 0;
    std::size_t postingsSize_ = 0;
};

// Little-endian writing and reading for the format.
void putU32(std::string& out, std::uint32_t value);
void putU64(std::string& out, std::uint64_t value);
void putVarint(std::string& out, std::uint64_t value);

}  // namespace pelmaro::index
