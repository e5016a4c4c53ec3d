#include "search/normalization.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace pelmaro {
namespace {

struct ClassRange {
    char32_t first;
    char32_t last;
    int combiningClass;
};
struct Decomposition {
    char32_t from;
    char32_t first;
    char32_t second;  // 0 for a singleton
};
struct Composition {
    char32_t first;
    char32_t second;
    char32_t composite;
};

#include "search/normalization.inc"

// Hangul syllables compose and decompose by arithmetic (Unicode 3.12).
constexpr char32_t kHangulBase = 0xAC00;
constexpr char32_t kLeadBase = 0x1100;
constexpr char32_t kVowelBase = 0x1161;
constexpr char32_t kTrailBase = 0x11A7;
constexpr char32_t kLeadCount = 19;
constexpr char32_t kVowelCount = 21;
constexpr char32_t kTrailCount = 28;
constexpr char32_t kSyllableCount = kLeadCount * kVowelCount * kTrailCount;

// The smallest character with a decomposition or a combining class: everything below passes
// through untouched.
constexpr char32_t kFirstSpecial = 0xC0;

void appendDecomposed(char32_t c, std::vector<char32_t>& out) {
    if (c >= kHangulBase && c < kHangulBase + kSyllableCount) {
        const char32_t index = c - kHangulBase;
        out.push_back(kLeadBase + index / (kVowelCount * kTrailCount));
        out.push_back(kVowelBase + index % (kVowelCount * kTrailCount) / kTrailCount);
        if (index % kTrailCount != 0) {
            out.push_back(kTrailBase + index % kTrailCount);
        }
        return;
    }
    if (c >= kFirstSpecial) {
        const auto* const end = std::end(kDecompositions);
        const auto* found =
            std::lower_bound(std::begin(kDecompositions), end, c,
                             [](const Decomposition& d, char32_t key) { return d.from < key; });
        if (found != end && found->from == c) {
            appendDecomposed(found->first, out);
            if (found->second != 0) {
                appendDecomposed(found->second, out);
            }
            return;
        }
    }
    out.push_back(c);
}

// The primary composite of a pair, or 0.
char32_t composePair(char32_t first, char32_t second) {
    if (first >= kLeadBase && first < kLeadBase + kLeadCount && second >= kVowelBase &&
        second < kVowelBase + kVowelCount) {
        return kHangulBase +
               ((first - kLeadBase) * kVowelCount + (second - kVowelBase)) * kTrailCount;
    }
    if (first >= kHangulBase && first < kHangulBase + kSyllableCount &&
        (first - kHangulBase) % kTrailCount == 0 && second > kTrailBase &&
        second < kTrailBase + kTrailCount) {
        return first + (second - kTrailBase);
    }
    const auto* const end = std::end(kCompositions);
    const auto* found = std::lower_bound(
        std::begin(kCompositions), end, std::pair{first, second},
        [](const Composition& c, const std::pair<char32_t, char32_t>& key) {
            return c.first != key.first ? c.first < key.first : c.second < key.second;
        });
    return found != end && found->first == first && found->second == second ? found->composite : 0;
}

// Whether each character of the Basic Multilingual Plane is a stable starter: composed as NFC
// has it (no decomposition, or a primary composite such as "é"), of combining class 0, and
// never the second of a pair that composes. Such a character ends the segment before it and
// stands as it is until a mark follows: most text beyond ASCII (CJK, Cyrillic, Greek, accented
// Latin) takes no table search.
class StableStarters {
public:
    StableStarters() : bits_(kCount / 64, ~std::uint64_t{0}) {
        std::vector<std::uint64_t> seconds(kCount / 64, 0);
        for (const Composition& pair : kCompositions) {
            set(seconds, pair.second, true);
        }
        for (const Decomposition& d : kDecompositions) {
            set(bits_, d.from, false);
        }
        for (const Composition& pair : kCompositions) {
            set(bits_, pair.composite, !has(seconds, pair.composite));
        }
        for (const ClassRange& r : kCombiningClasses) {
            for (char32_t c = r.first; c <= r.last; ++c) {
                set(bits_, c, false);
            }
        }
        for (char32_t c = 0; c < kCount; ++c) {
            if (has(seconds, c)) {
                set(bits_, c, false);
            }
        }
        // Hangul syllables and jamo compose by arithmetic, not by the tables.
        for (char32_t c = kHangulBase; c < kHangulBase + kSyllableCount; ++c) {
            set(bits_, c, false);
        }
        for (char32_t c = kVowelBase; c < kVowelBase + kVowelCount; ++c) {
            set(bits_, c, false);
        }
        for (char32_t c = kTrailBase + 1; c < kTrailBase + kTrailCount; ++c) {
            set(bits_, c, false);
        }
    }
    bool operator()(char32_t c) const { return has(bits_, c); }

private:
    static constexpr char32_t kCount = 0x10000;

    static bool has(const std::vector<std::uint64_t>& bits, char32_t c) {
        return c < kCount && (bits[c / 64] >> (c % 64) & 1) != 0;
    }
    static void set(std::vector<std::uint64_t>& bits, char32_t c, bool on) {
        if (c < kCount) {
            const std::uint64_t bit = std::uint64_t{1} << (c % 64);
            bits[c / 64] = on ? bits[c / 64] | bit : bits[c / 64] & ~bit;
        }
    }

    std::vector<std::uint64_t> bits_;
};

bool isStableStarter(char32_t c) {
    static const StableStarters stable;
    return stable(c);
}

}  // namespace

int combiningClass(char32_t c) {
    if (c < 0x300) {
        return 0;
    }
    const auto* const end = std::end(kCombiningClasses);
    const auto* found =
        std::upper_bound(std::begin(kCombiningClasses), end, c,
                         [](char32_t key, const ClassRange& r) { return key < r.first; });
    return found != std::begin(kCombiningClasses) && c <= (found - 1)->last
               ? (found - 1)->combiningClass
               : 0;
}

void Composer::put(char32_t c, std::vector<char32_t>& out) {
    // The common case, all of ASCII: a plain starter after a plain starter, neither able to
    // combine with the other.
    if (c < kFirstSpecial && segment_.size() == 1 && segment_[0] < kFirstSpecial) {
        out.push_back(segment_[0]);
        segment_[0] = c;
        return;
    }
    // Beyond it, a character that composes with nothing before it closes a lone starter, and
    // is held as it stands until a mark after it calls for its decomposition.
    if (segment_.size() == 1 && isStableStarter(c)) {
        out.push_back(segment_[0]);
        segment_[0] = c;
        heldWhole_ = true;
        return;
    }
    if (heldWhole_) {
        const char32_t held = segment_[0];
        segment_.clear();
        appendDecomposed(held, segment_);
        heldWhole_ = false;
    }
    std::size_t at = segment_.size();
    appendDecomposed(c, segment_);
    // Each starter among the new characters closes what stands before it; what is closed is
    // composed and handed on, unless it ends up a lone starter that combines with the new one
    // (Hangul lead + vowel, syllable + trail).
    while (at < segment_.size()) {
        if (at == 0 || combiningClass(segment_[at]) != 0) {
            ++at;
            continue;
        }
        if (at == 1) {
            // A starter after a lone starter (most of CJK text): no marks to order.
            if (const char32_t composite = composePair(segment_[0], segment_[1])) {
                segment_[0] = composite;
                segment_.erase(segment_.begin() + 1);
            } else {
                out.push_back(segment_[0]);
                segment_.erase(segment_.begin());
            }
            continue;
        }
        std::vector<char32_t> closed(segment_.begin(),
                                     segment_.begin() + static_cast<std::ptrdiff_t>(at));
        segment_.erase(segment_.begin(), segment_.begin() + static_cast<std::ptrdiff_t>(at));
        compose(closed);
        const char32_t composite = closed.size() == 1 && combiningClass(closed[0]) == 0
                                       ? composePair(closed[0], segment_[0])
                                       : 0;
        if (composite != 0) {
            segment_[0] = composite;
        } else {
            out.insert(out.end(), closed.begin(), closed.end());
        }
        at = 1;
    }
    if (segment_.size() > kMaxMarks) {
        finish(out);
    }
}

void Composer::finish(std::vector<char32_t>& out) {
    heldWhole_ = false;  // alone, it stands as NFC has it
    compose(segment_);
    out.insert(out.end(), segment_.begin(), segment_.end());
    segment_.clear();
}

void Composer::compose(std::vector<char32_t>& segment) {
    if (segment.size() < 2) {
        return;
    }
    // Canonical order: marks sorted by class, stably (insertion sort: runs are short).
    for (std::size_t i = 1; i < segment.size(); ++i) {
        const char32_t c = segment[i];
        const int cc = combiningClass(c);
        if (cc == 0) {
            continue;
        }
        std::size_t j = i;
        while (j > 0 && combiningClass(segment[j - 1]) > cc) {
            segment[j] = segment[j - 1];
            --j;
        }
        segment[j] = c;
    }
    if (combiningClass(segment[0]) != 0) {
        return;  // marks with no starter before them: nothing to compose with
    }
    std::size_t kept = 1;
    int lastClass = -1;  // of the last mark kept after the starter; -1 when none
    for (std::size_t i = 1; i < segment.size(); ++i) {
        const char32_t c = segment[i];
        const int cc = combiningClass(c);
        const bool blocked = lastClass != -1 && (lastClass == 0 || lastClass >= cc);
        if (!blocked) {
            if (const char32_t composite = composePair(segment[0], c)) {
                segment[0] = composite;
                continue;
            }
        }
        lastClass = cc;
        segment[kept++] = c;
    }
    segment.resize(kept);
}

}  // namespace pelmaro
