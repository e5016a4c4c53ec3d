#include "catalogue/natural_order.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "platform/byte_text.h"

namespace pelmaro {

namespace {

struct SortLetter {
    char32_t character;
    char32_t letter;
    char32_t lower;
};

constexpr SortLetter kSortLetters[] = {
#include "catalogue/sort_letters.inc"
};

// The letter `c` sorts with ("É" -> "e", "A" -> "a") and its lower case ("É" -> "é"); the
// character itself for both when it has neither case nor marks.
SortLetter sortLetter(char32_t c) {
    if (c < 0x80) {
        const auto lower = static_cast<char32_t>(lowerAZ(static_cast<char>(c)));
        return {c, lower, lower};
    }
    const auto* found = std::lower_bound(
        std::begin(kSortLetters), std::end(kSortLetters), c,
        [](const SortLetter& entry, char32_t wanted) { return entry.character < wanted; });
    return found != std::end(kSortLetters) && found->character == c ? *found : SortLetter{c, c, c};
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The character at `pos` (a byte that isn't UTF-8 as U+DC80 + byte, below no letter's place),
// and where the next begins.
char32_t characterAt(std::string_view text, std::size_t& pos) {
    char32_t c = 0;
    const std::size_t length = decodeUtf8(text, pos, c);
    if (length == 0) {
        c = 0xDC00 + static_cast<unsigned char>(text[pos]);
        pos += 1;
    } else {
        pos += length;
    }
    return c;
}

int sign(std::int64_t value) {
    return value < 0 ? -1 : value > 0 ? 1 : 0;
}

}  // namespace

int compareNaturally(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    int accents = 0;  // the first difference of accents, then of case: what breaks a tie
    int cases = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t endA = i;
            std::size_t endB = j;
            while (endA < a.size() && isDigit(a[endA])) {
                ++endA;
            }
            while (endB < b.size() && isDigit(b[endB])) {
                ++endB;
            }
            std::size_t startA = i;
            std::size_t startB = j;
            while (startA + 1 < endA && a[startA] == '0') {
                ++startA;
            }
            while (startB + 1 < endB && b[startB] == '0') {
                ++startB;
            }
            const std::string_view numberA = a.substr(startA, endA - startA);
            const std::string_view numberB = b.substr(startB, endB - startB);
            if (numberA.size() != numberB.size()) {
                return numberA.size() < numberB.size() ? -1 : 1;
            }
            if (const int order = numberA.compare(numberB); order != 0) {
                return sign(order);
            }
            if (cases == 0) {
                cases = sign(static_cast<std::int64_t>(endA - i) -
                             static_cast<std::int64_t>(endB - j));  // "007" after "7"
            }
            i = endA;
            j = endB;
            continue;
        }
        const char32_t charA = characterAt(a, i);
        const char32_t charB = characterAt(b, j);
        if (charA == charB) {
            continue;
        }
        const SortLetter sortA = sortLetter(charA);
        const SortLetter sortB = sortLetter(charB);
        if (sortA.letter != sortB.letter) {
            return sortA.letter < sortB.letter ? -1 : 1;
        }
        // The same letter: "e" before "é" before "ê", and "e" before "E".
        if (accents == 0 && sortA.lower != sortB.lower) {
            accents = sortA.lower < sortB.lower ? -1 : 1;
        }
        if (cases == 0) {
            cases = charA > charB ? -1 : 1;  // lower case first
        }
    }
    if (i < a.size() || j < b.size()) {
        return i < a.size() ? 1 : -1;  // a prefix first
    }
    if (accents != 0) {
        return accents;
    }
    if (cases != 0) {
        return cases;
    }
    return sign(a.compare(b));
}

}  // namespace pelmaro
