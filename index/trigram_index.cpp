#include "index/trigram_index.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace pelmaro::index {
namespace {

constexpr std::size_t kHeaderSize = 8 + 4 + 4 + 8 + 8;
constexpr std::size_t kRecordSize = 1 + 8 * 5;

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
    while (value >= 0x80) {
        out.push_back(static_cast<char>((value & 0x7f) | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
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

std::optional<std::string> catalogueOfIndex(std::string_view head) {
    if (head.size() < kHeaderSize || head.substr(0, kIndexMagic.size()) != kIndexMagic) {
        return std::nullopt;
    }
    Reader in(head.substr(kIndexMagic.size()));
    std::uint32_t version = 0;
    std::uint32_t nameSize = 0;
    std::string name;
    if (!in.u32(version) || version != kIndexVersion || !in.skip(4 + 16) || !in.u32(nameSize) ||
        !in.text(nameSize, name)) {
        return std::nullopt;
    }
    return name;
}

std::optional<TrigramIndex> TrigramIndex::parse(std::string bytes) {
    TrigramIndex index;
    index.bytes_ = std::move(bytes);
    const std::string_view all(index.bytes_);
    if (all.size() < kHeaderSize || all.substr(0, kIndexMagic.size()) != kIndexMagic) {
        return std::nullopt;
    }
    Reader header(all.substr(kIndexMagic.size(), kHeaderSize - kIndexMagic.size()));
    std::uint32_t version = 0;
    std::uint32_t reserved = 0;
    std::uint64_t bodySize = 0;
    std::uint64_t checksum = 0;
    header.u32(version);
    header.u32(reserved);
    header.u64(bodySize);
    header.u64(checksum);
    const std::string_view body = all.substr(kHeaderSize);
    if (version != kIndexVersion || reserved != 0 || bodySize != body.size() ||
        hashBytes(body) != checksum) {
        return std::nullopt;
    }
    Reader in(body);
    std::uint32_t nameSize = 0;
    if (!in.u32(nameSize) || !in.text(nameSize, index.identity_.pathFile) ||
        !in.u64(index.identity_.pathsHash) || !in.u32(index.identity_.pageCount) ||
        !in.has(static_cast<std::size_t>(index.identity_.pageCount) * kRecordSize)) {
        return std::nullopt;
    }
    index.pages_.resize(index.identity_.pageCount);
    for (PageRecord& page : index.pages_) {
        std::uint8_t vouched = 0;
        in.u8(vouched);
        in.i64(page.stamp.size);
        in.i64(page.stamp.modifiedNs);
        in.i64(page.stamp.changedNs);
        in.u64(page.stamp.device);
        in.u64(page.stamp.inode);
        page.vouched = vouched == 1;
    }
    std::uint32_t trigrams = 0;
    std::uint64_t directorySize = 0;
    if (!in.u32(trigrams) || !in.u64(directorySize) || !in.has(directorySize)) {
        return std::nullopt;
    }
    Reader directory(body.substr(in.at(), directorySize));
    in.skip(directorySize);
    std::uint64_t postingsSize = 0;
    if (!in.u64(postingsSize) || postingsSize != body.size() - in.at()) {
        return std::nullopt;
    }
    index.postingsAt_ = kHeaderSize + in.at();
    index.postingsSize_ = static_cast<std::size_t>(postingsSize);
    index.entries_.resize(trigrams);
    std::uint64_t trigram = 0;
    std::uint64_t offset = 0;
    for (std::size_t i = 0; i < index.entries_.size(); ++i) {
        std::uint64_t gap = 0;
        std::uint64_t count = 0;
        std::uint64_t size = 0;
        if (!directory.varint(gap) || !directory.varint(count) || !directory.varint(size) ||
            (i != 0 && gap == 0) || (trigram += gap) > 0xffffff ||
            count > index.identity_.pageCount || size > postingsSize - offset) {
            return std::nullopt;
        }
        index.entries_[i] = {.trigram = static_cast<std::uint32_t>(trigram),
                             .count = static_cast<std::uint32_t>(count),
                             .offset = offset};
        offset += size;
    }
    if (offset != postingsSize || directory.has(1)) {
        return std::nullopt;
    }
    return index;
}

bool TrigramIndex::decode(const Entry& entry, CandidatePages& out) const {
    out.clear();
    out.reserve(entry.count);
    const std::string_view postings(bytes_.data() + postingsAt_, postingsSize_);
    std::size_t at = static_cast<std::size_t>(entry.offset);
    std::uint64_t page = 0;
    for (std::uint32_t i = 0; i < entry.count; ++i) {
        std::uint64_t gap = 0;
        for (int shift = 0;; shift += 7) {
            if (at == postings.size() || shift > 35) {
                return false;
            }
            const auto byte = static_cast<unsigned char>(postings[at++]);
            gap |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
            if ((byte & 0x80) == 0) {
                break;
            }
        }
        if (i != 0 && gap == 0) {
            return false;
        }
        page += gap;
        if (page >= pages_.size()) {
            return false;
        }
        out.push_back(static_cast<std::uint32_t>(page));
    }
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
    std::vector<std::uint32_t> wanted;
    for (std::size_t at = 0; at + 3 <= folded.size(); ++at) {
        wanted.push_back(trigramAt(folded, at));
    }
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    std::vector<const Entry*> lists;
    for (const std::uint32_t trigram : wanted) {
        const auto found = std::lower_bound(
            entries_.begin(), entries_.end(), trigram,
            [](const Entry& entry, std::uint32_t key) { return entry.trigram < key; });
        if (found == entries_.end() || found->trigram != trigram) {
            return CandidatePages{};  // no page holds this trigram
        }
        lists.push_back(&*found);
    }
    // The shortest list first: the intersection never grows.
    std::sort(lists.begin(), lists.end(),
              [](const Entry* a, const Entry* b) { return a->count < b->count; });
    CandidatePages result;
    if (!decode(*lists.front(), result)) {
        return std::nullopt;
    }
    CandidatePages next;
    CandidatePages both;
    for (std::size_t i = 1; i < lists.size() && !result.empty(); ++i) {
        if (!decode(*lists[i], next)) {
            return std::nullopt;
        }
        both.clear();
        std::set_intersection(result.begin(), result.end(), next.begin(), next.end(),
                              std::back_inserter(both));
        result.swap(both);
    }
    return result;
}

}  // namespace pelmaro::index
