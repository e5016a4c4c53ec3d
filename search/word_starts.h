#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace pelmaro {

// The vector instructions a look through a page's bytes may use, narrowest first.
enum class VectorUnit { None, Sse2, Avx2, Avx512 };

// The units this processor has, narrowest first: None always, then what it runs. The last is
// the fastest.
const std::vector<VectorUnit>& vectorUnitsHere();

// Where in a page's bytes a word of ASCII letters and digits may start to show: its first letter
// in either case, followed by its second and its third, or by what parts the word there after
// which anything may follow (the start of a reference or a tag, or the first byte of the one
// character beyond ASCII that shows as the letter); and wherever a reference or that character
// may show its first letter. It only narrows the bytes: a place it finds may still hold no start.
class WordStarts {
public:
    static constexpr std::size_t kBlockSize = 64;
    // Blocks looked at in one call: what the call costs is paid once per kilobyte.
    static constexpr std::size_t kBlocksAtOnce = 16;

    // `word`: at least three of [a-z0-9]; `unit`: one of vectorUnitsHere().
    WordStarts(std::string_view word, VectorUnit unit);

    // The places of the blocks of kBlockSize bytes from `from` on, at most kBlocksAtOnce of
    // them, as bits (bit i of places[k]: bytes[from + k * kBlockSize + i]); returns how many
    // blocks. A block is looked at only with the two bytes after it: where fewer than
    // kBlockSize + 2 bytes are left, none is, and the rest is for mayStartAt().
    std::size_t placesFrom(std::string_view bytes, std::size_t from,
                           std::span<std::uint64_t, kBlocksAtOnce> places) const;

    // Whether the word may start at `b` by its first byte alone.
    bool mayStartAt(char b) const {
        return static_cast<char>(b | 0x20) == wanted_.first || b == '&' || b == wanted_.firstSign;
    }

    // The UTF-8 bytes of the one character beyond ASCII that shows as `letter` once folded: the
    // Kelvin sign (U+212A, "K" once composed) for "k", the long s (U+017F) for "s"; none for any
    // other.
    static std::string_view letterSign(char letter) {
        return letter == 'k' ? "\xE2\x84\xAA" : letter == 's' ? "\xC5\xBF" : "";
    }
    // The lead byte of letterSign(letter), or '&' (which parts a word anyway) when it has none.
    static char signLead(char letter) {
        const std::string_view sign = letterSign(letter);
        return sign.empty() ? '&' : sign[0];
    }

    // The bytes a look compares with, for the word's first three places: each letter (a letter
    // compared with bit 5 set takes both its cases) and the lead byte of its sign.
    struct Wanted {
        char first;
        char firstSign;
        char second;
        char secondSign;
        char third;
        char thirdSign;
    };
    // A look at up to kBlocksAtOnce blocks in one unit's instructions (word_starts.cpp).
    using FindPlaces = void (*)(const char* bytes, std::size_t blocks, const Wanted& wanted,
                                std::uint64_t* places);

private:
    Wanted wanted_;
    FindPlaces findPlaces_;
};

}  // namespace pelmaro
