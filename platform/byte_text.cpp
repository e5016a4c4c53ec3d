#include "platform/byte_text.h"

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pelmaro {

std::string lowerAZ(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = lowerAZ(c);
    }
    return out;
}

std::string upperAZ(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = upperAZ(c);
    }
    return out;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && startsWithIgnoringAsciiCase(a, b);
}

bool startsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (lowerAZ(text[i]) != lowerAZ(prefix[i])) {
            return false;
        }
    }
    return true;
}

std::size_t findIgnoringAsciiCase(std::string_view text, std::string_view needle,
                                  std::size_t from) {
    if (from > text.size() || needle.size() > text.size() - from) {
        return std::string_view::npos;
    }
    if (needle.empty()) {
        return from;
    }
    // Candidates are found by their first byte, with memchr when it has no other case (the "<"
    // of a tag): a page's head is searched for its title this way.
    const char first = lowerAZ(needle[0]);
    const char otherFirst = upperAZ(first);
    const std::size_t last = text.size() - needle.size();
    for (std::size_t at = from; at <= last; ++at) {
        if (first == otherFirst) {
            const void* found = std::memchr(text.data() + at, first, last + 1 - at);
            if (found == nullptr) {
                return std::string_view::npos;
            }
            at = static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
        } else if (text[at] != first && text[at] != otherFirst) {
            continue;
        }
        if (startsWithIgnoringAsciiCase(text.substr(at + 1), needle.substr(1))) {
            return at;
        }
    }
    return std::string_view::npos;
}

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::size_t findLineEnd(std::string_view text, std::size_t from) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
    const auto zeros = [](std::uint64_t x) { return (x - kOnes) & ~x & kHighs; };
    std::size_t at = from;
#if defined(__SSE2__)
    // Sixteen at a time where the processor has them (every x86-64 does).
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i nul = _mm_setzero_si128();
    for (; at + 16 <= text.size(); at += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
        const int ends = _mm_movemask_epi8(
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, lf), _mm_cmpeq_epi8(bytes, cr)),
                         _mm_cmpeq_epi8(bytes, nul)));
        if (ends != 0) {
            return at + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(ends)));
        }
    }
#endif
    for (; at + 8 <= text.size(); at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + at, sizeof word);
        // A zero byte's borrow may mark the byte above it as well, never one below: the lowest
        // mark is exact.
        const std::uint64_t ends =
            zeros(word) | zeros(word ^ (kOnes * '\n')) | zeros(word ^ (kOnes * '\r'));
        if (ends != 0) {
            static_assert(std::endian::native == std::endian::little);  // byte 0 lowest
            return at + static_cast<std::size_t>(std::countr_zero(ends) / 8);
        }
    }
    for (; at < text.size(); ++at) {
        if (text[at] == '\n' || text[at] == '\r' || text[at] == '\0') {
            return at;
        }
    }
    return std::string_view::npos;
}

std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return text;
    }
    // Step back over at most three continuation bytes to the lead byte of the character that
    // the cut would split, if the bytes before it do form one.
    std::size_t cut = maxBytes;
    for (std::size_t back = 0; back < 3 && cut > 0; ++back) {
        if ((static_cast<unsigned char>(text[cut]) & 0xC0) != 0x80) {
            break;
        }
        --cut;
    }
    const auto lead = static_cast<unsigned char>(text[cut]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (cut == maxBytes || lead < 0xC0 || cut + length <= maxBytes) {
        return text.substr(0, maxBytes);
    }
    return text.substr(0, cut);
}

std::size_t utf8Sequence(std::string_view bytes, bool& complete) {
    complete = false;
    const auto b0 = static_cast<unsigned char>(bytes[0]);
    if (b0 < 0x80) {
        complete = true;
        return 1;
    }
    std::size_t need = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        low = b0 == 0xE0 ? 0xA0 : 0x80;
        high = b0 == 0xED ? 0x9F : 0xBF;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        low = b0 == 0xF0 ? 0x90 : 0x80;
        high = b0 == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    std::size_t i = 1;
    for (; i <= need; ++i) {
        if (i == bytes.size()) {
            return i;  // cut by the end
        }
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < low || b > high) {
            return i;
        }
        low = 0x80;
        high = 0xBF;
    }
    complete = true;
    return i;
}

std::size_t decodeUtf8(std::string_view text, std::size_t pos, char32_t& c) {
    bool complete = false;
    const std::size_t length = utf8Sequence(text.substr(pos), complete);
    if (!complete) {
        return 0;
    }
    // Well-formed, so the lead byte's value bits and six of each continuation byte are the
    // character: no range to check again.
    static constexpr unsigned char kLeadBits[] = {0x7F, 0x1F, 0x0F, 0x07};
    c = static_cast<unsigned char>(text[pos]) & kLeadBits[length - 1];
    for (std::size_t i = 1; i < length; ++i) {
        c = (c << 6) | (static_cast<unsigned char>(text[pos + i]) & 0x3F);
    }
    return length;
}

std::string withThousands(std::size_t n) {
    const std::string digits = std::to_string(n);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            grouped += ',';
        }
        grouped += digits[i];
    }
    return grouped;
}

}  // namespace pelmaro
