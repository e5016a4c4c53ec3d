#include "search/text_matcher.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "catalogue/page_text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pelmaro {
namespace {

constexpr std::array<unsigned char, 256> makeFoldTable() {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
    return table;
}
constexpr std::array<unsigned char, 256> kFold = makeFoldTable();

inline unsigned char fold(char c) {
    return kFold[static_cast<unsigned char>(c)];
}
inline bool isLineBreak(char c) {
    return c == '\r' || c == '\n';
}

// How common a folded byte is in documentation pages (markup, English prose, UTF-8), roughly:
// higher is more common. Only the order matters; it picks the byte a scan looks for.
constexpr std::array<unsigned char, 256> makeRankTable() {
    std::array<unsigned char, 256> rank{};
    for (int c = 0; c < 256; ++c) {
        rank[c] = c < 0x20 ? 10 : c < 0x80 ? 100 : 60;
    }
    const char* byFrequency = " etaoinsrhldcumpfgwyb<>/\"=.,-:;_#v0123456789k()x'j&qz";
    unsigned char value = 250;
    for (const char* p = byFrequency; *p != '\0'; ++p, value -= 4) {
        rank[static_cast<unsigned char>(*p)] = value;
    }
    rank['\t'] = 150;
    return rank;
}
constexpr std::array<unsigned char, 256> kRank = makeRankTable();

// Compares the whole pattern around `at`, where the scan found the pattern's anchor byte. With
// SkipBreaks, CR and LF in the text are stepped over as if they weren't there.
template <bool SkipBreaks>
bool matchesAround(const char* begin, const char* end, const char* at, std::string_view pattern,
                   std::size_t anchor) {
    const char* q = at;
    for (std::size_t j = anchor + 1; j < pattern.size(); ++j) {
        do {
            ++q;
            if (q == end) {
                return false;
            }
        } while (SkipBreaks && isLineBreak(*q));
        if (fold(*q) != static_cast<unsigned char>(pattern[j])) {
            return false;
        }
    }
    q = at;
    for (std::size_t j = anchor; j-- > 0;) {
        do {
            if (q == begin) {
                return false;
            }
            --q;
        } while (SkipBreaks && isLineBreak(*q));
        if (fold(*q) != static_cast<unsigned char>(pattern[j])) {
            return false;
        }
    }
    return true;
}

// Looks for the anchor byte (both cases of a letter at once: 'X' | 0x20 == 'x') 32 bytes at a
// time, and compares the whole pattern only where it stands.
template <bool SkipBreaks>
bool findFolded(const char* begin, const char* end, std::string_view pattern, std::size_t anchor) {
    const std::size_t length = pattern.size();
    if (length == 0 || static_cast<std::size_t>(end - begin) < length) {
        return false;
    }
    // The anchor needs at least `anchor` bytes before it and the rest of the pattern after it.
    const char* p = begin + anchor;
    const char* const last = end - (length - 1 - anchor);
    const auto target = static_cast<unsigned char>(pattern[anchor]);
#if defined(__SSE2__)
    const bool letter = target >= 'a' && target <= 'z';
    const __m128i want = _mm_set1_epi8(static_cast<char>(target));
    const __m128i caseBit = _mm_set1_epi8(letter ? 0x20 : 0);
    for (; last - p >= 32; p += 32) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        auto mask = static_cast<unsigned>(
                        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(low, caseBit), want))) |
                    static_cast<unsigned>(
                        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(high, caseBit), want)))
                        << 16;
        while (mask != 0) {
            if (matchesAround<SkipBreaks>(begin, end, p + __builtin_ctz(mask), pattern, anchor)) {
                return true;
            }
            mask &= mask - 1;
        }
    }
#endif
    for (; p < last; ++p) {
        if (fold(*p) == target && matchesAround<SkipBreaks>(begin, end, p, pattern, anchor)) {
            return true;
        }
    }
    return false;
}

}  // namespace

FoldedPattern::FoldedPattern(std::string_view text) : folded_(text) {
    for (char& c : folded_) {
        c = static_cast<char>(fold(c));
    }
    for (std::size_t i = 1; i < folded_.size(); ++i) {
        if (kRank[static_cast<unsigned char>(folded_[i])] <
            kRank[static_cast<unsigned char>(folded_[anchor_])]) {
            anchor_ = i;
        }
    }
}

bool FoldedPattern::foundIn(std::string_view text) const {
    return findFolded<false>(text.data(), text.data() + text.size(), folded_, anchor_);
}

FileTextScanner::FileTextScanner(std::string_view text, std::size_t blockSize)
    : pattern_(text),
      blockSize_(std::max<std::size_t>(blockSize, 1)),
      pad_(pattern_.empty() ? 0 : pattern_.folded().size() - 1),
      plainTextCanMatch_(!pattern_.empty() && pattern_.folded().find_first_of(std::string_view(
                                                  "\r\n\0", 3)) == std::string::npos),
      // The first read of a file must see the whole RTF signature, however small the blocks.
      buffer_(pad_ + std::max(blockSize_, kRtfSignature.size())) {
    tail_.reserve(pad_);
}

void FileTextScanner::startText() {
    carried_ = 0;
    textEnded_ = false;
}

bool FileTextScanner::searchBlock(std::size_t size) {
    char* const fresh = block();
    if (const void* nul = std::memchr(fresh, '\0', size)) {
        size = static_cast<std::size_t>(static_cast<const char*>(nul) - fresh);
        textEnded_ = true;
    }
    // The carried tail holds fewer bytes than the pattern, so every match found here ends in the
    // fresh bytes and none is reported twice.
    const char* const begin = fresh - carried_;
    const char* const end = fresh + size;
    if (findFolded<true>(begin, end, pattern_.folded(), pattern_.anchor())) {
        return true;
    }
    if (!textEnded_) {
        carryTail(begin, end);
    }
    return false;
}

void FileTextScanner::carryTail(const char* begin, const char* end) {
    // Gathered backwards into a separate string first: the old tail may be the source.
    tail_.clear();
    for (const char* q = end; q != begin && tail_.size() < pad_;) {
        --q;
        if (!isLineBreak(*q)) {
            tail_.push_back(*q);
        }
    }
    carried_ = tail_.size();
    std::copy(tail_.rbegin(), tail_.rend(), block() - carried_);
}

bool FileTextScanner::plainTextContains(std::string_view bytes) {
    if (!plainTextCanMatch_) {
        return false;
    }
    startText();
    while (!bytes.empty() && !textEnded_) {
        const std::size_t size = std::min(bytes.size(), blockSize_);
        std::memcpy(block(), bytes.data(), size);
        bytes.remove_prefix(size);
        if (searchBlock(size)) {
            return true;
        }
    }
    return false;
}

FileTextScanner::Outcome FileTextScanner::scan(platform::FileSystem& files,
                                               const std::string& fileName,
                                               const std::function<bool()>& keepGoing) {
    auto file = files.openForReading(fileName);
    startText();
    const std::size_t firstRead = std::max(blockSize_, kRtfSignature.size());
    std::size_t got = 0;
    while (got < kRtfSignature.size()) {
        const std::size_t more = file->read(block() + got, firstRead - got);
        if (more == 0) {
            break;
        }
        got += more;
    }
    if (startsAsRtf(std::string_view(block(), got))) {
        // Rare in documentation trees: the text comes from the page-text loader's RTF reader, a
        // piece at a time, and is searched as it comes.
        const std::string start(block(), got);
        bool found = false;
        startText();
        const auto search = [&](std::string_view piece) {
            while (!found && !textEnded_ && !piece.empty()) {
                const std::size_t size = std::min(piece.size(), blockSize_);
                std::memcpy(block(), piece.data(), size);
                piece.remove_prefix(size);
                found = plainTextCanMatch_ && searchBlock(size);
            }
        };
        switch (streamRtfText(*file, start, search, keepGoing)) {
            case RtfStream::Text:
                return found ? Outcome::Found : Outcome::NotFound;
            case RtfStream::Stopped:
                return Outcome::Abandoned;
            case RtfStream::NotRtf:
                break;
        }
        // Not valid RTF after all: the file is plain text, read anew.
        file = files.openForReading(fileName);
        startText();
        got = 0;
        while (got < firstRead) {
            const std::size_t more = file->read(block() + got, firstRead - got);
            if (more == 0) {
                break;
            }
            got += more;
        }
    }
    if (!plainTextCanMatch_) {
        return Outcome::NotFound;
    }
    std::size_t sincePause = 0;
    while (got != 0) {
        if (searchBlock(got)) {
            return Outcome::Found;
        }
        if (textEnded_) {
            return Outcome::NotFound;
        }
        sincePause += got;
        if (sincePause >= kBytesBetweenPauses) {
            sincePause = 0;
            if (keepGoing && !keepGoing()) {
                return Outcome::Abandoned;
            }
        }
        got = file->read(block(), blockSize_);
    }
    return Outcome::NotFound;
}

}  // namespace pelmaro
