#include "search/case_fold.h"

#include "platform/byte_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/file_names.h"

namespace pelmaro {
namespace {

struct FoldPair {
    char32_t from;
    char32_t to;
};
struct WordRange {
    char32_t first;
    char32_t last;
};

#include "search/case_fold.inc"

}  // namespace

char32_t foldCase(char32_t c) {
    if (c < 0x80) {
        return static_cast<unsigned char>(lowerAZ(static_cast<char>(c)));
    }
    const auto* const end = std::end(kFoldPairs);
    const auto* found =
        std::lower_bound(std::begin(kFoldPairs), end, c,
                         [](const FoldPair& p, char32_t key) { return p.from < key; });
    return found != end && found->from == c ? found->to : c;
}

bool isWordCharacter(char32_t c) {
    if (c < 0x80) {
        return isAsciiAlnum(static_cast<char>(c));
    }
    const auto* const end = std::end(kWordRanges);
    const auto* found =
        std::upper_bound(std::begin(kWordRanges), end, c,
                         [](char32_t key, const WordRange& r) { return key < r.first; });
    return found != std::begin(kWordRanges) && c <= (found - 1)->last;
}

char32_t utf8CharAt(std::string_view text, std::size_t at, std::size_t& length) {
    char32_t c = 0;
    length = decodeUtf8(text, at, c);
    if (length == 0) {
        length = 1;
        return 0xFFFD;
    }
    return c;
}

char32_t utf8CharBefore(std::string_view text, std::size_t end, std::size_t& start) {
    start = end - 1;
    // At most three continuation bytes before the lead byte.
    while (start > 0 && end - start < 4 &&
           (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
        --start;
    }
    std::size_t length = 0;
    const char32_t c = utf8CharAt(text, start, length);
    if (start + length != end) {
        start = end - 1;
        return 0xFFFD;
    }
    return c;
}

void appendFolded(std::string& out, std::string_view text) {
    const std::size_t had = out.size();
    out.resize(had + text.size());
    char* o = out.data() + had;
    std::size_t i = 0;
    while (i < text.size()) {
        // ASCII, eight bytes at a time: set the case bit of 'A' to 'Z' only.
        while (i + 8 <= text.size()) {
            std::uint64_t word = 0;
            std::memcpy(&word, text.data() + i, 8);
            if ((word & 0x8080808080808080ULL) != 0) {
                break;
            }
            const std::uint64_t heptets = word & 0x7F7F7F7F7F7F7F7FULL;
            const std::uint64_t aboveA = heptets + 0x3F3F3F3F3F3F3F3FULL;  // >= 'A' sets bit 7
            const std::uint64_t aboveZ = heptets + 0x2525252525252525ULL;  // > 'Z' sets bit 7
            const std::uint64_t upper = aboveA & ~aboveZ & 0x8080808080808080ULL;
            word |= upper >> 2;
            std::memcpy(o, &word, 8);
            o += 8;
            i += 8;
        }
        if (i == text.size()) {
            break;
        }
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            *o++ = lowerAZ(static_cast<char>(b));
            ++i;
            continue;
        }
        std::size_t length = 0;
        const char32_t c = utf8CharAt(text, i, length);
        if (c == 0xFFFD && length == 1) {
            *o++ = static_cast<char>(b);  // not UTF-8: kept
            ++i;
            continue;
        }
        const char32_t folded = foldCase(c);
        if (folded == c) {
            std::memcpy(o, text.data() + i, length);
            o += length;
        } else {
            // A folded character may take more bytes than the original ("K" U+212A is 3, "k"
            // 1; "ſ" U+017F is 2, "s" 1; U+023A is 2, U+2C65 3).
            std::string bytes;
            appendUtf8(bytes, folded);
            const std::size_t at = static_cast<std::size_t>(o - out.data());
            if (bytes.size() > length) {
                out.resize(out.size() + bytes.size() - length);
                o = out.data() + at;
            }
            std::memcpy(o, bytes.data(), bytes.size());
            o += bytes.size();
        }
        i += length;
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
}

std::string foldedText(std::string_view text) {
    std::string out;
    appendFolded(out, text);
    return out;
}

}  // namespace pelmaro
