#include "search/text_matcher.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "page/page_text.h"
#include "page/page_types.h"
#include "page/text_encoding.h"
#include "platform/file_names.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pelmaro {
namespace {

constexpr std::array<unsigned char, 256> makeFoldTable() {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[c] = static_cast<unsigned char>(lowerAZ(static_cast<char>(c)));
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
//
// Always inlined: the full-text search calls it for a second pattern too, and a called copy runs
// its loop measurably slower than the inlined one.
template <bool SkipBreaks>
[[gnu::always_inline]] inline bool findFolded(const char* begin, const char* end,
                                              std::string_view pattern, std::size_t anchor) {
    const std::size_t length = pattern.size();
    if (length == 0 || static_cast<std::size_t>(end - begin) < length) {
        return false;
    }
    // The anchor needs at least `anchor` bytes before it and the rest of the pattern after it.
    const char* p = begin + anchor;
    const char* const last = end - (length - 1 - anchor);
    const auto target = static_cast<unsigned char>(pattern[anchor]);
#if defined(__SSE2__)
    const bool letter = isAsciiLower(static_cast<char>(target));
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

bool isAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

// The longest the search text can be in an encoding that keeps ASCII, less one: the tail a block
// carries into the next. An ASCII text is the same everywhere; another may take up to four bytes
// a character (GB18030, UTF-8).
std::size_t padFor(const FoldedPattern& pattern, std::string_view text, bool ascii) {
    if (pattern.empty()) {
        return 0;
    }
    std::size_t longest = pattern.folded().size();
    if (!ascii) {
        std::size_t characters = 0;
        for (const char c : text) {
            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        }
        longest = std::max(longest, 4 * characters);
    }
    return longest - 1;
}

enum class PageKind { Other, Markup, Xml };

// Whether a file is a markup page, and an XML one among them.
PageKind pageKindOf(std::string_view fileName) {
    switch (textKindOf(fileName)) {
        case TextKind::Markup:
            return PageKind::Markup;
        case TextKind::Xml:
            return PageKind::Xml;
        case TextKind::None:
        case TextKind::Plain:
            break;
    }
    return PageKind::Other;
}

bool canOccurInText(std::string_view bytes) {
    return !bytes.empty() &&
           bytes.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
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
      text_(text),
      textIsAscii_(isAscii(text)),
      blockSize_(std::max<std::size_t>(blockSize, 1)),
      pad_(padFor(pattern_, text, textIsAscii_)),
      plainTextCanMatch_(canOccurInText(pattern_.folded())),
      // The first read of a file must see the whole RTF signature and may take the page's head,
      // however small the blocks.
      buffer_(pad_ + std::max({blockSize_, kRtfSignature.size(), kPageHeadSize})),
      carry_(pattern_.empty() ? 0 : pattern_.folded().size() - 1) {
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
    if (alternative_ != nullptr &&
        findFolded<true>(begin, end, alternative_->folded(), alternative_->anchor())) {
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
    for (const char* q = end; q != begin && tail_.size() < carry_;) {
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
    useAlternative(nullptr);
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
    // The page's own encoding, where it can hold the text otherwise than as UTF-8.
    useAlternative(nullptr);
    std::string decodeFrom;
    std::size_t bomLength = 0;
    bool fileEnded = false;
    bool searched = false;  // the block at hand has been searched already
    const std::string_view start(block(), got);
    if (start.starts_with("\xFF\xFE") || start.starts_with("\xFE\xFF")) {
        decodeFrom = start[0] == '\xFF' ? "UTF-16LE" : "UTF-16BE";
        bomLength = 2;
    } else if (const PageKind kind = textIsAscii_ ? PageKind::Other : pageKindOf(fileName);
               kind != PageKind::Other) {
        // Most pages are UTF-8: what the text as typed finds needs no look at the encoding.
        if (searchBlock(got)) {
            return Outcome::Found;
        }
        searched = true;
        // The head: the first read has usually brought all of it, or the whole page (whose end
        // is then known, so that it is not asked for twice).
        const std::size_t headSize = kPageHeadSize;
        while (got < headSize) {
            const std::size_t more = file->read(block() + got, headSize - got);
            if (more == 0) {
                fileEnded = true;
                break;
            }
            got += more;
            // More of the block to search: all of it again.
            startText();
            searched = false;
        }
        const PageEncoding encoding = sniffPageEncoding(
            std::string_view(block(), std::min(got, headSize)), true, kind == PageKind::Xml);
        if (!encoding.name.empty() && encoding.name != "UTF-8") {
            if (!isAsciiCompatible(encoding.name)) {
                decodeFrom = encoding.name;
            } else if (const FoldedPattern* converted = convertedPattern(encoding.name)) {
                // The first block again, for both.
                startText();
                useAlternative(converted);
                searched = false;
            }
        }
    }
    if (!decodeFrom.empty()) {
        return decodedTextContains(*file, got, fileEnded, decodeFrom, bomLength, keepGoing);
    }
    std::size_t sincePause = 0;
    while (got != 0) {
        if (!searched && searchBlock(got)) {
            return Outcome::Found;
        }
        searched = false;
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
        got = fileEnded ? 0 : file->read(block(), blockSize_);
    }
    return Outcome::NotFound;
}

const FoldedPattern* FileTextScanner::convertedPattern(const std::string& encoding) {
    auto [at, added] = converted_.try_emplace(encoding);
    if (added) {
        std::string bytes;
        Converter converter(encoding, Converter::Direction::FromUtf8);
        if (converter.convert(text_, bytes) && canOccurInText(bytes) && bytes.size() <= pad_ + 1) {
            FoldedPattern pattern(bytes);
            if (pattern.folded() != pattern_.folded()) {
                at->second.emplace(std::move(pattern));
            }
        }
    }
    return at->second ? &*at->second : nullptr;
}

FileTextScanner::Outcome FileTextScanner::decodedTextContains(
    platform::InputFile& file, std::size_t got, bool fileEnded, const std::string& encoding,
    std::size_t skip, const std::function<bool()>& keepGoing) {
    // Rare pages, read whole like RTF.
    std::string bytes(block(), got);
    std::size_t sincePause = 0;
    while (!fileEnded) {
        const std::size_t had = bytes.size();
        bytes.resize(had + blockSize_);
        const std::size_t more = file.read(bytes.data() + had, blockSize_);
        bytes.resize(had + more);
        if (more == 0) {
            break;
        }
        sincePause += more;
        if (sincePause >= kBytesBetweenPauses) {
            sincePause = 0;
            if (keepGoing && !keepGoing()) {
                return Outcome::Abandoned;
            }
        }
    }
    // The byte rule still holds; then the decoded text.
    if (plainTextContains(bytes)) {
        return Outcome::Found;
    }
    Converter converter(encoding, Converter::Direction::ToUtf8);
    std::string text;
    if (!converter.convert(std::string_view(bytes).substr(std::min(skip, bytes.size())), text)) {
        return Outcome::NotFound;
    }
    return plainTextContains(text) ? Outcome::Found : Outcome::NotFound;
}

void FileTextScanner::useAlternative(const FoldedPattern* alternative) {
    alternative_ = alternative;
    carry_ = pattern_.empty() ? 0 : pattern_.folded().size() - 1;
    if (alternative != nullptr) {
        carry_ = std::max(carry_, alternative->folded().size() - 1);
    }
}

}  // namespace pelmaro
