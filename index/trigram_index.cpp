#include "index/trigram_index.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "search/shown_text_search.h"

namespace pelmaro::index {
namespace {

constexpr std::size_t kHeaderSize = 8 + 4 + 4;

// Reads the format's fields with every length checked: a damaged file fails, never overreads.
class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    bool has(std::size_t n) const { return bytes_.size() - at_ >= n; }
    std::size_t at() const { return at_; }
    bool skip(std::size_t n) {
        if (!has(n)) {
            return false;
        }
        at_ += n;
        return true;
    }
    bool u8(std::uint8_t& value) {
        if (!has(1)) {
            return false;
        }
        value = static_cast<std::uint8_t>(bytes_[at_++]);
        return true;
    }
    bool u32(std::uint32_t& value) {
        std::uint64_t wide = 0;
        if (!little(4, wide)) {
            return false;
        }
        value = static_cast<std::uint32_t>(wide);
        return true;
    }
    bool u64(std::uint64_t& value) { return little(8, value); }
    bool i64(std::int64_t& value) {
        std::uint64_t wide = 0;
        if (!little(8, wide)) {
            return false;
        }
        value = static_cast<std::int64_t>(wide);
        return true;
    }
    bool varint(std::uint64_t& value) {
        value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            std::uint8_t byte = 0;
            if (!u8(byte)) {
                return false;
            }
            value |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
            if ((byte & 0x80) == 0) {
                return true;
            }
        }
        return false;
    }
    bool text(std::size_t n, std::string& value) {
        if (!has(n)) {
            return false;
        }
        value.assign(bytes_.substr(at_, n));
        at_ += n;
        return true;
    }

private:
    bool little(std::size_t n, std::uint64_t& value) {
        if (!has(n)) {
            return false;
        }
        value = 0;
        for (std::size_t i = 0; i < n; ++i) {
            value |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes_[at_ + i]))
                     << (8 * i);
        }
        at_ += n;
        return true;
    }

    std::string_view bytes_;
    std::size_t at_ = 0;
};

std::uint32_t trigramAt(std::string_view text, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(text[at])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[at + 2]));
}

}  // namespace

void putU32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>(value >> (8 * i)));
    }
}

void putU64(std::string& out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<char>(value >> (8 * i)));
    }
}

void putVarint(std::string& out, std::uint64_t value) {
    char bytes[10];
    out.append(bytes, writeVarint(bytes, value));
}

std::uint64_t hashBytes(std::string_view bytes, std::uint64_t seed) {
    // Eight bytes a step, each mixed in by a multiply and a shift: fast on the tens of megabytes
    // of a large index, and any damaged byte changes the result.
    constexpr std::uint64_t kMultiplier = 0x9e3779b97f4a7c15ULL;
    std::uint64_t hash = seed ^ (bytes.size() * kMultiplier);
    std::size_t at = 0;
    for (; at + 8 <= bytes.size(); at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes.data() + at, 8);
        hash = (hash ^ word) * kMultiplier;
        hash ^= hash >> 29;
    }
    std::uint64_t tail = 0;
    for (std::size_t i = 0; at + i < bytes.size(); ++i) {
        tail |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    }
    hash = (hash ^ tail) * kMultiplier;
    return hash ^ (hash >> 31);
}

CatalogueIdentity identify(const std::string& realPathFile, const platform::TextList& paths) {
    std::uint64_t hash = 0;
    for (const std::string_view path : paths) {
        // The length goes in too, so that ("ab", "c") and ("a", "bc") differ.
        hash = hashBytes(path, hash + path.size());
    }
    return {.pathFile = realPathFile,
            .pathsHash = hash,
            .pageCount = static_cast<std::uint32_t>(paths.size())};
}

std::uint32_t blockHash(std::string_view block, std::uint64_t number) {
    // hashBytes' step on four lanes side by side, whose multiplies don't wait for each other:
    // loading the index of a million pages checks some fifty megabytes.
    constexpr std::uint64_t kMultiplier = 0x9e3779b97f4a7c15ULL;
    std::uint64_t lanes[4];
    for (std::uint64_t i = 0; i < 4; ++i) {
        lanes[i] = (number * 4 + i + 1) * kMultiplier;
    }
    std::size_t at = 0;
    for (; at + 32 <= block.size(); at += 32) {
        for (std::size_t i = 0; i < 4; ++i) {
            std::uint64_t word = 0;
            std::memcpy(&word, block.data() + at + 8 * i, 8);
            lanes[i] = (lanes[i] ^ word) * kMultiplier;
            lanes[i] ^= lanes[i] >> 29;
        }
    }
    std::uint64_t hash = block.size();
    for (const std::uint64_t lane : lanes) {
        hash = (hash ^ lane) * kMultiplier;
        hash ^= hash >> 29;
    }
    return static_cast<std::uint32_t>(hashBytes(block.substr(at), hash));
}

PageRecord PageRecords::operator[](std::size_t n) const {
    Reader in(bytes_.substr(n * kIndexRecordSize, kIndexRecordSize));
    PageRecord page;
    std::uint8_t flags = 0;
    in.u8(flags);
    in.i64(page.stamp.size);
    in.i64(page.stamp.modifiedNs);
    in.i64(page.stamp.changedNs);
    in.u64(page.stamp.device);
    in.u64(page.stamp.inode);
    page.vouched = (flags & 1) != 0;
    page.stamp.names = (flags & 2) != 0 ? 2 : 1;
    return page;
}

namespace {

// How the lists of resume points name the encodings they hold for.
constexpr std::uint8_t kResumeUtf8 = 1;
constexpr std::uint8_t kResumeWindows1252 = 2;

}  // namespace

bool appendResumeList(std::string& lists, const ResumePoints& points) {
    if (points.offsets.empty() || points.encoding == ShownTextProducer::Encoding::Detect) {
        return false;
    }
    putVarint(lists, points.offsets.size());
    lists.push_back(static_cast<char>(points.encoding == ShownTextProducer::Encoding::MixedUtf8
                                          ? kResumeUtf8
                                          : kResumeWindows1252));
    std::uint32_t last = 0;
    for (const std::uint32_t point : points.offsets) {
        putVarint(lists, point - last);
        last = point;
    }
    return true;
}

bool TrigramIndex::resumePoints(std::size_t n, ResumePoints& out) const {
    // Several threads may check at once: each finds the same.
    int intact = resumeIntact_->load(std::memory_order_acquire);
    if (intact < 0) {
        const std::size_t from = static_cast<std::size_t>(resumeTable_.data() - bytes_.data());
        intact = blocksIntact(from, from + resumeTable_.size() + resumeLists_.size()) ? 1 : 0;
        resumeIntact_->store(intact, std::memory_order_release);
    }
    if (intact == 0) {
        return false;
    }
    std::uint32_t at = 0;
    if (!Reader(resumeTable_.substr(std::min(resumeTable_.size(), n * kIndexResumeEntrySize)))
             .u32(at) ||
        at >= resumeLists_.size()) {
        return false;
    }
    Reader in(resumeLists_.substr(at));
    std::uint64_t count = 0;
    std::uint8_t encoding = 0;
    if (!in.varint(count) || count == 0 || count > resumeLists_.size() || !in.u8(encoding) ||
        (encoding != kResumeUtf8 && encoding != kResumeWindows1252)) {
        return false;
    }
    const PageRecord record = pages_[n];
    if (!record.vouched) {
        return false;
    }
    out.stamp = record.stamp;
    out.encoding = encoding == kResumeUtf8 ? ShownTextProducer::Encoding::MixedUtf8
                                           : ShownTextProducer::Encoding::Windows1252;
    out.offsets.clear();
    std::uint64_t point = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint64_t gap = 0;
        if (!in.varint(gap) || (i != 0 && gap == 0) || (point += gap) > UINT32_MAX) {
            return false;
        }
        out.offsets.push_back(static_cast<std::uint32_t>(point));
    }
    return true;
}

std::vector<std::uint32_t> distinctTrigrams(std::string_view folded) {
    std::vector<std::uint32_t> trigrams;
    for (std::size_t at = 0; at + 3 <= folded.size(); ++at) {
        trigrams.push_back(trigramAt(folded, at));
    }
    std::sort(trigrams.begin(), trigrams.end());
    trigrams.erase(std::unique(trigrams.begin(), trigrams.end()), trigrams.end());
    return trigrams;
}

std::string encodePostings(std::span<const std::uint32_t> pages, std::uint32_t pageCount) {
    // The smallest kind is written. The gaps take a byte a page at least: a list dense enough
    // is a bitmap without writing them; the others are written as gaps, then compared.
    std::string bitmap(1, static_cast<char>(PostingKind::Bitmap));
    const std::uint32_t firstByte = pages.front() / 8;
    putVarint(bitmap, firstByte);
    const std::size_t bitsAt = bitmap.size();
    const std::size_t bitmapBytes = pages.back() / 8 - firstByte + 1;
    if (bitsAt + bitmapBytes >= 1 + pages.size()) {
        constexpr std::size_t kMostGapBytes = 5;  // a 32-bit gap as a varint
        std::string gaps(1 + kMostGapBytes * pages.size(), '\0');
        gaps[0] = static_cast<char>(PostingKind::Gaps);
        char* out = gaps.data() + 1;
        std::uint32_t last = 0;
        for (const std::uint32_t page : pages) {
            out = writeVarint(out, page - last);
            last = page;
        }
        gaps.resize(static_cast<std::size_t>(out - gaps.data()));
        if (bitsAt + bitmapBytes >= gaps.size()) {
            return gaps;
        }
    }
    bitmap.resize(bitsAt + bitmapBytes);
    for (const std::uint32_t page : pages) {
        bitmap[bitsAt + page / 8 - firstByte] |= static_cast<char>(1U << (page % 8));
    }
    // The pages without it take fewer bytes than the bitmap only when nearly every page holds
    // it.
    if (pages.size() > pageCount - pageCount / 8) {
        std::string allBut(1, static_cast<char>(PostingKind::AllBut));
        std::uint32_t missing = 0;
        std::uint32_t last = 0;
        for (std::size_t i = 0; missing < pageCount && allBut.size() < bitmap.size(); ++missing) {
            if (i < pages.size() && pages[i] == missing) {
                ++i;
                continue;
            }
            putVarint(allBut, missing - last);
            last = missing;
        }
        if (allBut.size() < bitmap.size()) {
            return allBut;
        }
    }
    return bitmap;
}

std::optional<std::string> catalogueOfIndex(std::string_view head) {
    if (head.size() < kHeaderSize || head.substr(0, kIndexMagic.size()) != kIndexMagic) {
        return std::nullopt;
    }
    Reader in(head.substr(kIndexMagic.size()));
    std::uint32_t version = 0;
    std::uint32_t nameSize = 0;
    std::string name;
    if (!in.u32(version) || version != kIndexVersion || !in.skip(4) || !in.u32(nameSize) ||
        !in.text(nameSize, name)) {
        return std::nullopt;
    }
    return name;
}

std::optional<TrigramIndex> TrigramIndex::parse(std::string bytes) {
    return open(platform::heldBytes(std::move(bytes)));
}

std::optional<TrigramIndex> TrigramIndex::open(std::unique_ptr<platform::MappedFile> file) {
    TrigramIndex index;
    const std::string_view all = file->bytes();
    index.file_ = std::move(file);
    index.bytes_ = all;
    if (all.size() < kHeaderSize + kIndexFooterSize ||
        all.substr(0, kIndexMagic.size()) != kIndexMagic) {
        return std::nullopt;
    }
    Reader header(all.substr(kIndexMagic.size(), kHeaderSize - kIndexMagic.size()));
    std::uint32_t version = 0;
    std::uint32_t reserved = 0;
    header.u32(version);
    header.u32(reserved);
    if (version != kIndexVersion || reserved != 0) {
        return std::nullopt;
    }
    const std::size_t footerAt = all.size() - kIndexFooterSize;
    Reader footer(all.substr(footerAt));
    std::uint64_t postingsAt = 0;
    std::uint64_t directoryAt = 0;
    std::uint64_t hashesAt = 0;
    std::uint32_t trigrams = 0;
    std::uint32_t blockSize = 0;
    std::uint64_t checksum = 0;
    footer.u64(postingsAt);
    footer.u64(directoryAt);
    footer.u64(hashesAt);
    footer.u32(trigrams);
    footer.u32(blockSize);
    footer.u64(checksum);
    if (blockSize != kIndexBlockSize || postingsAt < kHeaderSize || directoryAt < postingsAt ||
        hashesAt < directoryAt || hashesAt > footerAt ||
        footerAt - hashesAt != 4 * ((hashesAt + kIndexBlockSize - 1) / kIndexBlockSize) ||
        hashBytes(all.substr(hashesAt, all.size() - 8 - hashesAt)) != checksum) {
        return std::nullopt;
    }
    index.directoryAt_ = static_cast<std::size_t>(directoryAt);
    index.hashesAt_ = static_cast<std::size_t>(hashesAt);
    if (!index.blocksIntact(directoryAt, hashesAt)) {
        return std::nullopt;
    }

    // Read before their blocks are checked, with bounds, and trusted only after.
    Reader in(all.substr(kHeaderSize, postingsAt - kHeaderSize));
    std::uint32_t nameSize = 0;
    if (!in.u32(nameSize) || !in.text(nameSize, index.identity_.pathFile) ||
        !in.u64(index.identity_.pathsHash) || !in.u32(index.identity_.pageCount) ||
        kHeaderSize + in.at() +
                std::size_t{index.identity_.pageCount} *
                    (kIndexRecordSize + kIndexOrderEntrySize + kIndexResumeEntrySize) >
            postingsAt) {
        return std::nullopt;
    }
    const std::size_t recordsAt = kHeaderSize + in.at();
    const std::size_t pageCount = index.identity_.pageCount;
    const std::size_t resumeAt = recordsAt + pageCount * (kIndexRecordSize + kIndexOrderEntrySize);
    // The resume points are checked when first asked for: a search that reads no page of the
    // index needs none.
    if (!index.blocksIntact(0, resumeAt)) {
        return std::nullopt;
    }
    index.pages_ = PageRecords(all.substr(recordsAt, pageCount * kIndexRecordSize));
    // A page left out of the order would never have its stamp looked at.
    Reader order(
        all.substr(recordsAt + pageCount * kIndexRecordSize, pageCount * kIndexOrderEntrySize));
    index.stampOrder_.resize(pageCount);
    std::vector<bool> ordered(pageCount);
    for (std::uint32_t& n : index.stampOrder_) {
        if (!order.u32(n) || n >= pageCount || ordered[n]) {
            return std::nullopt;
        }
        ordered[n] = true;
    }
    const std::size_t listsAt = resumeAt + pageCount * kIndexResumeEntrySize;
    index.resumeTable_ = all.substr(resumeAt, listsAt - resumeAt);
    index.resumeLists_ = all.substr(listsAt, postingsAt - listsAt);

    Reader directory(all.substr(directoryAt, hashesAt - directoryAt));
    index.entries_.resize(trigrams);
    std::uint64_t trigram = 0;
    std::uint64_t offset = postingsAt;
    for (std::size_t i = 0; i < index.entries_.size(); ++i) {
        std::uint64_t gap = 0;
        std::uint64_t count = 0;
        std::uint64_t size = 0;
        if (!directory.varint(gap) || !directory.varint(count) || !directory.varint(size) ||
            (i != 0 && gap == 0) || (trigram += gap) > 0xffffff || count == 0 ||
            count > index.identity_.pageCount || size == 0 || size > directoryAt - offset) {
            return std::nullopt;
        }
        index.entries_[i] = {.trigram = static_cast<std::uint32_t>(trigram),
                             .count = static_cast<std::uint32_t>(count),
                             .offset = offset};
        offset += size;
    }
    if (offset != directoryAt || directory.has(1)) {
        return std::nullopt;
    }
    return index;
}

bool TrigramIndex::blocksIntact(std::size_t from, std::size_t to) const {
    for (std::size_t block = from / kIndexBlockSize; block * kIndexBlockSize < to; ++block) {
        const std::size_t at = block * kIndexBlockSize;
        Reader stored(bytes_.substr(hashesAt_ + 4 * block, 4));
        std::uint32_t hash = 0;
        stored.u32(hash);
        if (blockHash(bytes_.substr(at, std::min(kIndexBlockSize, hashesAt_ - at)), block) !=
            hash) {
            return false;
        }
    }
    return true;
}

std::string_view TrigramIndex::postingsOf(std::size_t entry) const {
    const std::size_t from = entries_[entry].offset;
    const std::size_t to = entry + 1 < entries_.size() ? entries_[entry + 1].offset : directoryAt_;
    if (!blocksIntact(from, to)) {
        return {};
    }
    return bytes_.substr(from, to - from);
}

namespace {

// The posting lists' varints: page numbers and their gaps fit in 32 bits.
bool nextVarint(std::string_view bytes, std::size_t& at, std::uint64_t& value) {
    value = 0;
    for (int shift = 0; shift <= 28; shift += 7) {
        if (at == bytes.size()) {
            return false;
        }
        const auto byte = static_cast<unsigned char>(bytes[at++]);
        value |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
        if ((byte & 0x80) == 0) {
            return true;
        }
    }
    return false;
}

// Walks a list of gaps: each call gives the next page; false at the end, and `damaged` set when
// the list breaks off or goes past the last page.
class GapWalker {
public:
    GapWalker(std::string_view bytes, std::size_t pageCount)
        : bytes_(bytes), pageCount_(pageCount) {}

    bool next(std::uint64_t& page) {
        if (at_ == bytes_.size()) {
            return false;
        }
        std::uint64_t gap = 0;
        if (!nextVarint(bytes_, at_, gap) || (started_ && gap == 0) ||
            (page_ += gap) >= pageCount_) {
            damaged = true;
            at_ = bytes_.size();
            return false;
        }
        started_ = true;
        page = page_;
        return true;
    }

    bool damaged = false;

private:
    std::string_view bytes_;
    std::size_t pageCount_;
    std::size_t at_ = 0;
    std::uint64_t page_ = 0;
    bool started_ = false;
};

}  // namespace

bool TrigramIndex::decode(std::size_t entry, CandidatePages& out) const {
    const std::string_view list = postingsOf(entry);
    if (list.empty()) {
        return false;
    }
    const std::uint32_t count = entries_[entry].count;
    out.clear();
    out.reserve(count);
    std::uint64_t page = 0;
    switch (static_cast<PostingKind>(list[0])) {
        case PostingKind::Gaps: {
            GapWalker pages(list.substr(1), pages_.size());
            while (pages.next(page)) {
                out.push_back(static_cast<std::uint32_t>(page));
            }
            return !pages.damaged && out.size() == count;
        }
        case PostingKind::Bitmap: {
            std::size_t at = 1;
            std::uint64_t firstByte = 0;
            if (!nextVarint(list, at, firstByte)) {
                return false;
            }
            for (std::size_t i = at; i < list.size(); ++i) {
                const auto bits = static_cast<unsigned char>(list[i]);
                for (unsigned bit = 0; bit < 8; ++bit) {
                    if ((bits >> bit & 1U) != 0) {
                        page = 8 * (firstByte + i - at) + bit;
                        if (page >= pages_.size()) {
                            return false;
                        }
                        out.push_back(static_cast<std::uint32_t>(page));
                    }
                }
            }
            return out.size() == count;
        }
        case PostingKind::AllBut: {
            GapWalker missing(list.substr(1), pages_.size());
            std::uint64_t next = 0;
            bool more = missing.next(next);
            for (std::uint32_t n = 0; n < pages_.size(); ++n) {
                if (more && next == n) {
                    more = missing.next(next);
                } else {
                    out.push_back(n);
                }
            }
            return !missing.damaged && out.size() == count;
        }
    }
    return false;
}

bool TrigramIndex::keepHolding(std::size_t entry, CandidatePages& pages) const {
    const std::string_view list = postingsOf(entry);
    if (list.empty()) {
        return false;
    }
    std::size_t kept = 0;
    switch (static_cast<PostingKind>(list[0])) {
        case PostingKind::Gaps: {
            GapWalker holding(list.substr(1), pages_.size());
            std::uint64_t page = 0;
            bool more = holding.next(page);
            for (const std::uint32_t candidate : pages) {
                while (more && page < candidate) {
                    more = holding.next(page);
                }
                if (!more) {
                    break;
                }
                if (page == candidate) {
                    pages[kept++] = candidate;
                }
            }
            if (holding.damaged) {
                return false;
            }
            break;
        }
        case PostingKind::Bitmap: {
            std::size_t at = 1;
            std::uint64_t firstByte = 0;
            if (!nextVarint(list, at, firstByte)) {
                return false;
            }
            const std::string_view bits = list.substr(at);
            for (const std::uint32_t candidate : pages) {
                const std::uint64_t byte = candidate / 8;
                if (byte >= firstByte && byte - firstByte < bits.size() &&
                    (static_cast<unsigned char>(bits[byte - firstByte]) >> (candidate % 8) & 1U) !=
                        0) {
                    pages[kept++] = candidate;
                }
            }
            break;
        }
        case PostingKind::AllBut: {
            GapWalker missing(list.substr(1), pages_.size());
            std::uint64_t page = 0;
            bool more = missing.next(page);
            for (const std::uint32_t candidate : pages) {
                while (more && page < candidate) {
                    more = missing.next(page);
                }
                if (!more || page != candidate) {
                    pages[kept++] = candidate;
                }
            }
            if (missing.damaged) {
                return false;
            }
            break;
        }
        default:
            return false;
    }
    pages.resize(kept);
    return true;
}

std::optional<CandidatePages> TrigramIndex::pagesHolding(std::string_view folded) const {
    if (folded.size() < 3) {
        CandidatePages every(pages_.size());
        for (std::size_t n = 0; n < every.size(); ++n) {
            every[n] = static_cast<std::uint32_t>(n);
        }
        return every;
    }
    const std::vector<std::uint32_t> wanted = distinctTrigrams(folded);
    std::vector<std::size_t> lists;
    for (const std::uint32_t trigram : wanted) {
        const auto found = std::lower_bound(
            entries_.begin(), entries_.end(), trigram,
            [](const Entry& entry, std::uint32_t key) { return entry.trigram < key; });
        if (found == entries_.end() || found->trigram != trigram) {
            return CandidatePages{};  // no page holds this trigram
        }
        lists.push_back(static_cast<std::size_t>(found - entries_.begin()));
    }
    // The shortest list first, then each other one only tested for the pages left: the result
    // never grows, and a trigram of every page costs a test per page left.
    std::sort(lists.begin(), lists.end(), [this](std::size_t a, std::size_t b) {
        return entries_[a].count < entries_[b].count;
    });
    CandidatePages result;
    if (!decode(lists.front(), result)) {
        return std::nullopt;
    }
    for (std::size_t i = 1; i < lists.size() && !result.empty(); ++i) {
        if (!keepHolding(lists[i], result)) {
            return std::nullopt;
        }
    }
    return result;
}

}  // namespace pelmaro::index
