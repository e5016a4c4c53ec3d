#pragma once

#include <cstddef>
#include <vector>

// Canonical composition (Unicode NFC) of a stream of characters, so that "é" typed as one
// character and "e" followed by U+0301 COMBINING ACUTE ACCENT read the same. Tables from
// tools/gen_normalization.py.
namespace pelmaro {

// The canonical combining class of a character: 0 for starters (all of ASCII and Latin-1).
int combiningClass(char32_t c);

// Takes characters one at a time and hands on their NFC form. A character is held back until the
// next starter shows that nothing can combine with it any more; finish() hands on the rest.
// A run of more than kMaxMarks combining marks is handed on as it stands (as the Stream-Safe
// Text Format allows), so memory stays bounded whatever the input.
class Composer {
public:
    static constexpr std::size_t kMaxMarks = 64;

    // Appends what has become final to `out`.
    void put(char32_t c, std::vector<char32_t>& out);
    void finish(std::vector<char32_t>& out);
    // The common case, inline: `c` below U+00C0 after a lone starter below U+00C0, neither able
    // to combine with the other: holds `c` and hands the starter to `released`. False, with
    // nothing done, when put() is needed.
    bool putPlain(char32_t c, char32_t& released) {
        if (segment_.size() != 1 || segment_[0] >= 0xC0 || c >= 0xC0) {
            return false;
        }
        released = segment_[0];
        segment_[0] = c;
        return true;
    }
    void reset() {
        segment_.clear();
        heldWhole_ = false;
    }

private:
    // Puts the marks of `segment` in canonical order and composes what composes.
    static void compose(std::vector<char32_t>& segment);
    // segment_[0] a starter (or not, at the start of a text), then the non-starters after it,
    // decomposed; the starter may be a composite of two starters (Hangul syllables).
    std::vector<char32_t> segment_;
    // segment_ is one starter held composed (see put()), to be decomposed if a mark follows.
    bool heldWhole_ = false;
};

}  // namespace pelmaro
