#include "search/word_starts.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cassert>

namespace pelmaro {
namespace {

using Wanted = WordStarts::Wanted;
using FindPlaces = WordStarts::FindPlaces;

constexpr std::size_t kBlock = WordStarts::kBlockSize;
// A block's places need the two bytes after it.
constexpr std::size_t kAfter = 2;

// Each look puts the places of `blocks` blocks at `bytes` (and the two bytes after them) into
// `places`: the first letter followed by the second, or by what parts the word there, and then by
// the third or by what parts the word there, or by anything once parted at the second place; and
// each byte that may show the first letter alone ('&', its sign). A control character compared
// with bit 5 set may match a digit; the caller turns those down.

void findPlacesByByte(const char* bytes, std::size_t blocks, const Wanted& w,
                      std::uint64_t* places) {
    const auto letter = [](char b) { return static_cast<char>(b | 0x20); };
    for (std::size_t k = 0; k < blocks; ++k) {
        std::uint64_t found = 0;
        for (std::size_t i = 0; i < kBlock; ++i) {
            const char* const p = bytes + k * kBlock + i;
            const bool parted = p[1] == '&' || p[1] == '<' || p[1] == w.secondSign;
            const bool third =
                p[2] == '&' || p[2] == '<' || p[2] == w.thirdSign || letter(p[2]) == w.third;
            const bool start = letter(p[0]) == w.first && (parted || letter(p[1]) == w.second) &&
                               (parted || third);
            if (start || p[0] == '&' || p[0] == w.firstSign) {
                found |= std::uint64_t{1} << i;
            }
        }
        places[k] = found;
    }
}

#if defined(__x86_64__)

// Each of the three does what findPlacesByByte() does, a vector register's width at a time: the
// bytes at each place, one after and two after are loaded side by side.

void findPlacesSse2(const char* bytes, std::size_t blocks, const Wanted& w, std::uint64_t* places) {
    const auto spread = [](char c) { return _mm_set1_epi8(c); };
    const auto is = [](__m128i v, __m128i wanted) { return _mm_cmpeq_epi8(v, wanted); };
    const auto either = [](__m128i a, __m128i b) { return _mm_or_si128(a, b); };
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
        std::uint64_t found = 0;
        for (std::size_t part = 0; part < kBlock / 16; ++part) {
            const char* const p = bytes + k * kBlock + part * 16;
            const auto at = [p](std::size_t i) {
                return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            };
            const __m128i here = at(0);
            const __m128i next = at(1);
            const __m128i after = at(2);
            const __m128i parted =
                either(either(is(next, reference), is(next, tag)), is(next, secondSign));
            const __m128i followed = either(
                parted, either(either(is(after, reference), is(after, tag)),
                               either(is(after, thirdSign), is(either(after, caseBit), third))));
            const __m128i start =
                _mm_and_si128(_mm_and_si128(is(either(here, caseBit), first),
                                            either(parted, is(either(next, caseBit), second))),
                              followed);
            const __m128i alone = either(is(here, reference), is(here, firstSign));
            found |= static_cast<std::uint64_t>(
                         static_cast<unsigned>(_mm_movemask_epi8(either(start, alone))))
                     << (part * 16);
        }
        places[k] = found;
    }
}

[[gnu::target("avx2")]] void findPlacesAvx2(const char* bytes, std::size_t blocks, const Wanted& w,
                                            std::uint64_t* places) {
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
        std::uint64_t found = 0;
        for (std::size_t half = 0; half < 2; ++half) {
            const char* const p = bytes + k * kBlock + half * 32;
            const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
            const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
            const __m256i after = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 2));
            const __m256i parted = _mm256_or_si256(
                _mm256_or_si256(_mm256_cmpeq_epi8(next, reference), _mm256_cmpeq_epi8(next, tag)),
                _mm256_cmpeq_epi8(next, secondSign));
            const __m256i thirdOrParts = _mm256_or_si256(
                _mm256_or_si256(_mm256_cmpeq_epi8(after, reference), _mm256_cmpeq_epi8(after, tag)),
                _mm256_or_si256(_mm256_cmpeq_epi8(after, thirdSign),
                                _mm256_cmpeq_epi8(_mm256_or_si256(after, caseBit), third)));
            const __m256i secondOrParted =
                _mm256_or_si256(parted, _mm256_cmpeq_epi8(_mm256_or_si256(next, caseBit), second));
            const __m256i start = _mm256_and_si256(
                _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_or_si256(here, caseBit), first),
                                 secondOrParted),
                _mm256_or_si256(parted, thirdOrParts));
            const __m256i alone = _mm256_or_si256(_mm256_cmpeq_epi8(here, reference),
                                                  _mm256_cmpeq_epi8(here, firstSign));
            found |= static_cast<std::uint64_t>(
                         static_cast<unsigned>(_mm256_movemask_epi8(_mm256_or_si256(start, alone))))
                     << (half * 32);
        }
        places[k] = found;
    }
}

[[gnu::target("avx512bw")]] void findPlacesAvx512(const char* bytes, std::size_t blocks,
                                                  const Wanted& w, std::uint64_t* places) {
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
        const char* const p = bytes + k * kBlock;
        const __m512i here = _mm512_loadu_si512(p);
        const __m512i next = _mm512_loadu_si512(p + 1);
        const __m512i after = _mm512_loadu_si512(p + 2);
        const std::uint64_t parted = _mm512_cmpeq_epi8_mask(next, reference) |
                                     _mm512_cmpeq_epi8_mask(next, tag) |
                                     _mm512_cmpeq_epi8_mask(next, secondSign);
        const std::uint64_t thirdOrParts =
            _mm512_cmpeq_epi8_mask(after, reference) | _mm512_cmpeq_epi8_mask(after, tag) |
            _mm512_cmpeq_epi8_mask(after, thirdSign) |
            _mm512_cmpeq_epi8_mask(_mm512_or_si512(after, caseBit), third);
        const std::uint64_t start =
            _mm512_cmpeq_epi8_mask(_mm512_or_si512(here, caseBit), first) &
            (parted | _mm512_cmpeq_epi8_mask(_mm512_or_si512(next, caseBit), second)) &
            (parted | thirdOrParts);
        places[k] = start | _mm512_cmpeq_epi8_mask(here, reference) |
                    _mm512_cmpeq_epi8_mask(here, firstSign);
    }
}

#endif

FindPlaces placesFinderFor(VectorUnit unit) {
    switch (unit) {
#if defined(__x86_64__)
        case VectorUnit::Sse2:
            return findPlacesSse2;
        case VectorUnit::Avx2:
            return findPlacesAvx2;
        case VectorUnit::Avx512:
            return findPlacesAvx512;
#endif
        default:
            return findPlacesByByte;
    }
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
    : wanted_{word[0], signLead(word[0]), word[1], signLead(word[1]), word[2], signLead(word[2])},
      findPlaces_(placesFinderFor(unit)) {
    assert(word.size() >= 3);
}

std::size_t WordStarts::placesFrom(std::string_view bytes, std::size_t from,
                                   std::span<std::uint64_t, kBlocksAtOnce> places) const {
    if (from + kBlock + kAfter > bytes.size()) {
        return 0;
    }
    // The blocks that have their two bytes after them here.
    const std::size_t count = std::min(kBlocksAtOnce, (bytes.size() - from - kAfter) / kBlock);
    findPlaces_(bytes.data() + from, count, wanted_, places.data());
    return count;
}

}  // namespace pelmaro
