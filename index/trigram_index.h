#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
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
    platform::FileStamp stamp;  // its names: 2 for "more than one", else 1
};

// A 64-bit hash of bytes (not for security: it tells a torn or damaged file).
std::uint64_t hashBytes(std::string_view bytes, std::uint64_t seed = 0);

// The file format, little-endian, checked a block at a time, so that a lookup in the index of a
// million pages reads its page records, its directory and the posting lists it needs, not all
// of it:
//   header: "PELMTRI\n", u32 version, u32 0;
//   identity: u32 length and bytes of pathFile, u64 pathsHash, u32 pageCount;
//   pageCount page records: u8 flags (1: vouched, 2: the file had other names), i64 size,
//     i64 mtime ns, i64 ctime ns, u64 device, u64 inode;
//   the stamp order: pageCount u32 page numbers, each page once, the pages of a folder together
//     (the order a search looks at their stamps in);
//   the resume points (ShownTextProducer::noteResumePoints) of the vouched pages: pageCount u32
//     offsets of each page's list in the lists that follow; a list is a varint n, and when n is
//     not 0, a u8 encoding (1: UTF-8, 2: windows-1252) and n varints of the gap from the point
//     before (the first from 0);
//   the posting lists, in the directory's order (see PostingKind);
//   the directory: for each trigram, ascending, varints of its gap from the one before, its
//     page count and its list's size in bytes;
//   the block hashes: blockHash of each kIndexBlockSize bytes of the file from its start to the
//     end of the directory (the last block shorter);
//   footer: u64 offsets of the posting lists, the directory and the block hashes, u32 trigram
//     count, u32 kIndexBlockSize, and u64 hashBytes of the block hashes and the footer before it.
// Loading checks the footer, the block hashes and the blocks of everything but the resume points
// and the posting lists; a posting list's blocks are checked each time it is read, the resume
// points' once, when first asked for.
inline constexpr std::string_view kIndexMagic = "PELMTRI\n";
// The version goes up with the layout, and with any change to what a page's shown text is: an
// index of the text as it was made before may lack a trigram a page shows now, or hold resume
// points that aren't. It went up too when builds began to read again the pages written a moment
// before their read: an index made before may leave every page of a tree to be read by each
// search, and is made anew once.
inline constexpr std::uint32_t kIndexVersion = 8;
inline constexpr std::size_t kIndexBlockSize = 4096;
inline constexpr std::size_t kIndexFooterSize = 8 * 3 + 4 * 2 + 8;
inline constexpr std::size_t kIndexRecordSize = 1 + 8 * 5;
inline constexpr std::size_t kIndexOrderEntrySize = 4;   // a page number in the stamp order
inline constexpr std::size_t kIndexResumeEntrySize = 4;  // where a page's resume points are

// The hash of the file's block number `number`: the number goes in, so that blocks swapped
// tell.
std::uint32_t blockHash(std::string_view block, std::uint64_t number);

// How one posting list is stored: its first byte, then
enum class PostingKind : std::uint8_t {
    // the page numbers ascending, as varints of the gap from the one before (the first from 0);
    Gaps = 0,
    // a varint n, then a bitmap of the pages from 8 * n on (bit b of byte i: page 8 * (n + i) + b);
    Bitmap = 1,
    // as Gaps, the pages that do NOT hold the trigram (a trigram of nearly every page).
    AllBut = 2,
};

// The distinct trigrams of `folded` (shown-text form), ascending.
std::vector<std::uint32_t> distinctTrigrams(std::string_view folded);

// The smallest of the kinds above for a trigram of `pages` (ascending, not empty) among
// `pageCount` pages.
std::string encodePostings(std::span<const std::uint32_t> pages, std::uint32_t pageCount);

// Appends a page's list of resume points (see the format above) to `lists`; false, with nothing
// appended, when it has none or its encoding is Detect.
bool appendResumeList(std::string& lists, const ResumePoints& points);

// The ".path" file named by the start of an index file (its first few kilobytes), without
// checking the rest; std::nullopt when it is not the start of an index file of this version.
std::optional<std::string> catalogueOfIndex(std::string_view head);

// The page records of a loaded index, read from the file as they are asked for: a million of
// them are checked when it loads, but not copied.
class PageRecords {
public:
    PageRecords() = default;
    explicit PageRecords(std::string_view bytes) : bytes_(bytes) {}
    std::size_t size() const { return bytes_.size() / kIndexRecordSize; }
    PageRecord operator[](std::size_t n) const;
    // Asks for record n to be brought into the processor's cache, ahead of its use.
    void prefetch(std::size_t n) const {
        __builtin_prefetch(bytes_.data() + n * kIndexRecordSize);
        __builtin_prefetch(bytes_.data() + n * kIndexRecordSize + kIndexRecordSize - 1);
    }

private:
    std::string_view bytes_;
};

// A loaded index file. Its const functions are safe to call from several threads at once.
class TrigramIndex {
public:
    // The index in `file`, or std::nullopt when it is not an index file of this version, or is
    // torn, or any part but the posting lists is damaged.
    static std::optional<TrigramIndex> open(std::unique_ptr<platform::MappedFile> file);
    // The same on bytes in memory.
    static std::optional<TrigramIndex> parse(std::string bytes);

    const CatalogueIdentity& identity() const { return identity_; }
    const PageRecords& pages() const { return pages_; }
    // Every page once, each folder's pages together: the order to look at their stamps in.
    const std::vector<std::uint32_t>& stampOrder() const { return stampOrder_; }
    std::size_t trigramCount() const { return entries_.size(); }
    // Page n's resume points, with the stamp it had when they were noted; false when the index
    // holds none for it (unvouched, not markup, or read in another encoding).
    bool resumePoints(std::size_t n, ResumePoints& out) const;

    // The pages whose text holds every trigram of `folded` (shown-text form), ascending; every
    // page when it is shorter than three bytes. std::nullopt when a posting list it needs is
    // damaged.
    std::optional<CandidatePages> pagesHolding(std::string_view folded) const;

private:
    struct Entry {
        std::uint32_t trigram = 0;
        std::uint32_t count = 0;
        std::uint64_t offset = 0;  // in the file; the list ends where the next one starts
    };

    // Whether the blocks holding the file's bytes [from, to) are as hashed.
    bool blocksIntact(std::size_t from, std::size_t to) const;
    // The bytes of a posting list, or empty when a block of it is damaged.
    std::string_view postingsOf(std::size_t entry) const;
    // A posting list decoded into `out`; false when it is damaged.
    bool decode(std::size_t entry, CandidatePages& out) const;
    // Keeps in `pages` only those of the list; false when it is damaged.
    bool keepHolding(std::size_t entry, CandidatePages& pages) const;

    std::unique_ptr<platform::MappedFile> file_;
    std::string_view bytes_;
    CatalogueIdentity identity_;
    PageRecords pages_;
    std::vector<std::uint32_t> stampOrder_;
    std::string_view resumeTable_;  // a u32 offset a page
    std::string_view resumeLists_;
    // Whether their blocks are as hashed: -1 until first asked.
    std::shared_ptr<std::atomic<int>> resumeIntact_ = std::make_shared<std::atomic<int>>(-1);
    std::vector<Entry> entries_;
    std::size_t directoryAt_ = 0;
    std::size_t hashesAt_ = 0;
};

// Little-endian writing and reading for the format.
void putU32(std::string& out, std::uint32_t value);
void putU64(std::string& out, std::uint64_t value);
void putVarint(std::string& out, std::uint64_t value);
// Writes a varint at `out`, which has room for ten bytes; returns where it ends.
inline char* writeVarint(char* out, std::uint64_t value) {
    while (value >= 0x80) {
        *out++ = static_cast<char>((value & 0x7f) | 0x80);
        value >>= 7;
    }
    *out++ = static_cast<char>(value);
    return out;
}

}  // namespace pelmaro::index
