#include "search/word_starts.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cassert>

namespace pelmaro {
namespace {

// A block's bytes as bits (bit i: byte i), one mask for each thing the look asks of a byte.
struct Masks {
    std::uint64_t first = 0;   // the word's first letter
    std::uint64_t second = 0;  // its second letter, or what parts the word at its second place
    std::uint64_t parted = 0;  // what parts the word at its second place
    std::uint64_t third = 0;   // its third letter, or what parts the word at its third place
    std::uint64_t alone = 0;   // what may show the first letter by itself: '&', its sign
};

// The bytes a look compares with. A letter is compared with the byte with bit 5 set, which takes
// both of its cases in one comparison (and a control character or two with a digit; the caller
// turns those down).
struct Wanted {
    char first;
    char firstSign;
    char second;
    char secondSign;
    char third;
    char thirdSign;
};

constexpr std::size_t kBlock = WordStarts::kBlockSize;
// A block's places need the two bytes after it.
constexpr std::size_t kAfter = 2;

using Classify = void (*)(const char* bytes, std::size_t blocks, const Wanted& wanted, Masks* out);

// The masks of the first `count` bytes at `bytes`, one at a time.
Masks classifyBytes(const char* bytes, std::size_t count, const Wanted& w) {
    Masks m;
    for (std::size_t i = 0; i < count; ++i) {
        const char b = bytes[i];
        const char letter = static_cast<char>(b | 0x20);
        const std::uint64_t bit = std::uint64_t{1} << i;
        const bool parts = b == '&' || b == '<';
        const bool parted = parts || b == w.secondSign;
        m.first |= letter == w.first ? bit : 0;
        m.second |= parted || letter == w.second ? bit : 0;
        m.parted |= parted ? bit : 0;
        m.third |= parts || b == w.thirdSign || letter == w.third ? bit : 0;
        m.alone |= b == '&' || b == w.firstSign ? bit : 0;
    }
    return m;
}

void classifyBlocks(const char* bytes, std::size_t blocks, const Wanted& wanted, Masks* out) {
    for (std::size_t k = 0; k < blocks; ++k) {
        out[k] = classifyBytes(bytes + k * kBlock, kBlock, wanted);
    }
}

#if defined(__x86_64__)

// Each of the three does what classifyBlocks() does, a vector register's width at a time.

void classifyBlocksSse2(const char* bytes, std::size_t blocks, const Wanted& w, Masks* out) {
    const auto spread = [](char c) { return _mm_set1_epi8(c); };
    const __m128i caseBit = spread(0x20);
    const __m128i first = spread(w.first);
    const __m128i firstSign = spread(w.firstSign);
    const __m128i second = spread(w.second);
    const __m128i secondSign = spread(w.secondSign);
    const __m128i third = spread(w.third);
    const __m128i thirdSign = spread(w.thirdSign);
    const __m128i reference = spread('&');
    const __m128i tag = spread('<');
    for (std::size_t k = 0; k < blocks; ++k) {
        Masks m;
        for (std::size_t part = 0; part < kBlock / 16; ++part) {
            const __m128i v =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + k * kBlock + part * 16));
            const __m128i letter = _mm_or_si128(v, caseBit);
            const __m128i isReference = _mm_cmpeq_epi8(v, reference);
            const __m128i parts = _mm_or_si128(isReference, _mm_cmpeq_epi8(v, tag));
            const __m128i parted = _mm_or_si128(parts, _mm_cmpeq_epi8(v, secondSign));
            const auto bits = [&](__m128i is) {
                return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(is)))
                       << (part * 16);
            };
            m.first |= bits(_mm_cmpeq_epi8(letter, first));
            m.second |= bits(_mm_or_si128(parted, _mm_cmpeq_epi8(letter, second)));
            m.parted |= bits(parted);
            m.third |= bits(_mm_or_si128(_mm_or_si128(parts, _mm_cmpeq_epi8(v, thirdSign)),
                                         _mm_cmpeq_epi8(letter, third)));
            m.alone |= bits(_mm_or_si128(isReference, _mm_cmpeq_epi8(v, firstSign)));
        }
        out[k] = m;
    }
}

[[gnu::target("avx2")]] void classifyBlocksAvx2(const char* bytes, std::size_t blocks,
                                                const Wanted& w, Masks* out) {
    const __m256i caseBit = _mm256_set1_epi8(0x20);
    const __m256i first = _mm256_set1_epi8(w.first);
    const __m256i firstSign = _mm256_set1_epi8(w.firstSign);
    const __m256i second = _mm256_set1_epi8(w.second);
    const __m256i secondSign = _mm256_set1_epi8(w.secondSign);
    const __m256i third = _mm256_set1_epi8(w.third);
    const __m256i thirdSign = _mm256_set1_epi8(w.thirdSign);
    const __m256i reference = _mm256_set1_epi8('&');
    const __m256i tag = _mm256_set1_epi8('<');
    for (std::size_t k = 0; k < blocks; ++k) {
        Masks m;
        for (std::size_t half = 0; half < 2; ++half) {
            const __m256i v = _mm256_loadu_si256(
                reinterpret_cast<const __m256i*>(bytes + k * kBlock + half * 32));
            const __m256i letter = _mm256_or_si256(v, caseBit);
            const __m256i isReference = _mm256_cmpeq_epi8(v, reference);
            const __m256i parts = _mm256_or_si256(isReference, _mm256_cmpeq_epi8(v, tag));
            const __m256i parted = _mm256_or_si256(parts, _mm256_cmpeq_epi8(v, secondSign));
            const __m256i isSecond = _mm256_or_si256(parted, _mm256_cmpeq_epi8(letter, second));
            const __m256i isThird =
                _mm256_or_si256(_mm256_or_si256(parts, _mm256_cmpeq_epi8(v, thirdSign)),
                                _mm256_cmpeq_epi8(letter, third));
            const __m256i alone = _mm256_or_si256(isReference, _mm256_cmpeq_epi8(v, firstSign));
            const unsigned shift = half * 32;
            const auto bits = [shift](int mask) {
                return static_cast<std::uint64_t>(static_cast<unsigned>(mask)) << shift;
            };
            m.first |= bits(_mm256_movemask_epi8(_mm256_cmpeq_epi8(letter, first)));
            m.second |= bits(_mm256_movemask_epi8(isSecond));
            m.parted |= bits(_mm256_movemask_epi8(parted));
            m.third |= bits(_mm256_movemask_epi8(isThird));
            m.alone |= bits(_mm256_movemask_epi8(alone));
        }
        out[k] = m;
    }
}

[[gnu::target("avx512bw")]] void classifyBlocksAvx512(const char* bytes, std::size_t blocks,
                                                      const Wanted& w, Masks* out) {
    const __m512i caseBit = _mm512_set1_epi8(0x20);
    const __m512i first = _mm512_set1_epi8(w.first);
    const __m512i firstSign = _mm512_set1_epi8(w.firstSign);
    const __m512i second = _mm512_set1_epi8(w.second);
    const __m512i secondSign = _mm512_set1_epi8(w.secondSign);
    const __m512i third = _mm512_set1_epi8(w.third);
    const __m512i thirdSign = _mm512_set1_epi8(w.thirdSign);
    const __m512i reference = _mm512_set1_epi8('&');
    const __m512i tag = _mm512_set1_epi8('<');
    for (std::size_t k = 0; k < blocks; ++k) {
        const __m512i v = _mm512_loadu_si512(bytes + k * kBlock);
        const __m512i letter = _mm512_or_si512(v, caseBit);
        const std::uint64_t isReference = _mm512_cmpeq_epi8_mask(v, reference);
        const std::uint64_t parts = isReference | _mm512_cmpeq_epi8_mask(v, tag);
        const std::uint64_t parted = parts | _mm512_cmpeq_epi8_mask(v, secondSign);
        out[k] = {
            .first = _mm512_cmpeq_epi8_mask(letter, first),
            .second = parted | _mm512_cmpeq_epi8_mask(letter, second),
            .parted = parted,
            .third = parts | _mm512_cmpeq_epi8_mask(v, thirdSign) |
                     _mm512_cmpeq_epi8_mask(letter, third),
            .alone = isReference | _mm512_cmpeq_epi8_mask(v, firstSign),
        };
    }
}

#endif

Classify classifierFor(VectorUnit unit) {
    switch (unit) {
#if defined(__x86_64__)
        case VectorUnit::Sse2:
            return classifyBlocksSse2;
        case VectorUnit::Avx2:
            return classifyBlocksAvx2;
        case VectorUnit::Avx512:
            return classifyBlocksAvx512;
#endif
        default:
            return classifyBlocks;
    }
}

// The places of a block where the word may start, from its masks and those of the two bytes
// after it: the first letter followed by the second (or a parting) and then by the third, or
// by anything once parted at the second place; or a byte that may show the first letter alone.
std::uint64_t startsIn(const Masks& here, const Masks& after) {
    const std::uint64_t second = here.second >> 1 | after.second << 63;
    const std::uint64_t parted = here.parted >> 1 | after.parted << 63;
    const std::uint64_t third = here.third >> 2 | after.third << 62;
    return (here.first & second & (parted | third)) | here.alone;
}

}  // namespace

const std::vector<VectorUnit>& vectorUnitsHere() {
    static const std::vector<VectorUnit> units = [] {
        std::vector<VectorUnit> here = {VectorUnit::None};
#if defined(__x86_64__)
        here.push_back(VectorUnit::Sse2);
        if (__builtin_cpu_supports("avx2")) {
            here.push_back(VectorUnit::Avx2);
        }
        if (__builtin_cpu_supports("avx512bw")) {
            here.push_back(VectorUnit::Avx512);
        }
#endif
        return here;
    }();
    return units;
}

WordStarts::WordStarts(std::string_view word, VectorUnit unit)
    : unit_(unit),
      first_(word[0]),
      firstSign_(signLead(word[0], '&')),
      second_(word[1]),
      secondSign_(signLead(word[1], '&')),
      third_(word[2]),
      thirdSign_(signLead(word[2], '&')) {
    assert(word.size() >= 3);
}

std::size_t WordStarts::placesFrom(std::string_view bytes, std::size_t from,
                                   std::span<std::uint64_t, kBlocksAtOnce> places) const {
    if (from + kBlock + kAfter > bytes.size()) {
        return 0;
    }
    // The blocks that have their two bytes after them here, and those two bytes.
    const std::size_t count = std::min(kBlocksAtOnce, (bytes.size() - from - kAfter) / kBlock);
    const Wanted wanted{first_, firstSign_, second_, secondSign_, third_, thirdSign_};
    Masks masks[kBlocksAtOnce + 1];
    classifierFor(unit_)(bytes.data() + from, count, wanted, masks);
    masks[count] = classifyBytes(bytes.data() + from + count * kBlock, kAfter, wanted);
    for (std::size_t k = 0; k < count; ++k) {
        places[k] = startsIn(masks[k], masks[k + 1]);
    }
    return count;
}

}  // namespace pelmaro
