#include "search/quick_find.h"

#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/byte_text.h"
#include "search/case_fold.h"
#include "search/shown_text.h"

namespace pelmaro {
namespace {

constexpr std::size_t kMaxLevels = 64;
constexpr int kTierCount = 5;
constexpr std::uint16_t kNone = 0xFFFF;
constexpr std::size_t kSpareLevels = 8;
// Zero bytes after the last title, so that a title's first 64 bytes can always be loaded.
constexpr std::size_t kPadding = 64;
// Titles up to this long and queries up to this long are matched with bit masks.
constexpr std::size_t kShortTitle = 64;
constexpr std::size_t kShortQuery = 16;

// A folded query cut up once for the many titles it meets.
struct PreparedQuery {
    explicit PreparedQuery(std::string_view folded) : text(folded) {
        // The characters looked for in order: the query's, without its blanks.
        for (std::size_t i = 0; i < folded.size();) {
            std::size_t length = 0;
            const char32_t c = utf8CharAt(folded, i, length);
            if (c != ' ' && c != '\t' && c != 0x3000 && c != 0xA0) {
                characters.push_back(folded.substr(i, length));
            }
            i += length;
        }
        single = characters.size() == 1 && characters[0].size() == folded.size();
    }

    std::string_view text;
    std::vector<std::string_view> characters;
    bool single = false;  // one character: in order is the same as contained
};

// The first `query` in `title` from `from` on: the library's memchr to each candidate first byte,
// then an inline comparison (titles are short, and a call per candidate costs more than it).
// `lead`, when given, is set to where the first byte of the query first stands from `from` on
// (npos when nowhere), as far as the search learnt it.
std::size_t findIn(std::string_view title, std::string_view query, std::size_t from,
                   std::size_t* lead = nullptr) {
    const std::size_t n = title.size();
    const std::size_t m = query.size();
    if (lead != nullptr) {
        *lead = std::string_view::npos;
    }
    if (m == 0 || from >= n) {
        return std::string_view::npos;
    }
    const char* const t = title.data();
    if (m > n - from) {
        if (lead != nullptr) {
            const void* found = std::memchr(t + from, query[0], n - from);
            *lead = found == nullptr
                        ? std::string_view::npos
                        : static_cast<std::size_t>(static_cast<const char*>(found) - t);
        }
        return std::string_view::npos;
    }
    const char* const last = t + (n - m);
    const char* p = t + from;
    for (bool first = true;; first = false) {
        p = static_cast<const char*>(
            std::memchr(p, query[0], static_cast<std::size_t>(last - p) + 1));
        if (p == nullptr) {
            if (first && lead != nullptr) {
                // Not where a whole query fits; it may stand in the last bytes still.
                const void* found = std::memchr(last + 1, query[0], m - 1);
                *lead = found == nullptr
                            ? std::string_view::npos
                            : static_cast<std::size_t>(static_cast<const char*>(found) - t);
            }
            return std::string_view::npos;
        }
        if (first && lead != nullptr) {
            *lead = static_cast<std::size_t>(p - t);
        }
        std::size_t k = 1;
        while (k < m && p[k] == query[k]) {
            ++k;
        }
        if (k == m) {
            return static_cast<std::size_t>(p - t);
        }
        if (p == last) {
            return std::string_view::npos;
        }
        ++p;
    }
}

// Takes characters[first...] in order, each as early as it comes, from title[from] on; where the
// last one ends, or npos when they are not all there (or there are none at all).
std::size_t inOrderFrom(std::string_view title, const std::vector<std::string_view>& characters,
                        std::size_t first, std::size_t from) {
    if (characters.empty()) {
        return std::string_view::npos;
    }
    for (std::size_t k = first; k < characters.size(); ++k) {
        const std::string_view c = characters[k];
        const std::size_t found = findIn(title, c, from);
        if (found == std::string_view::npos) {
            return std::string_view::npos;
        }
        from = found + c.size();
    }
    return from;
}

// The mask bit of a folded byte: one each for 'a' to 'z' and '0' to '9' (exact), shared ones for
// the other ASCII bytes and one for all bytes of other characters.
constexpr std::array<std::uint64_t, 256> makeCharacterBits() {
    std::array<std::uint64_t, 256> bits{};
    for (int b = 0; b < 256; ++b) {
        int bit = 63;
        if (isAsciiLower(static_cast<char>(b))) {
            bit = b - 'a';
        } else if (isAsciiDigit(static_cast<char>(b))) {
            bit = 26 + (b - '0');
        } else if (b < 0x80) {
            bit = 36 + b % 27;
        }
        bits[static_cast<std::size_t>(b)] = std::uint64_t{1} << bit;
    }
    return bits;
}
constexpr std::array<std::uint64_t, 256> kCharacterBits = makeCharacterBits();

std::uint64_t characterBits(std::string_view text) {
    std::uint64_t mask = 0;
    for (const char c : text) {
        mask |= kCharacterBits[static_cast<unsigned char>(c)];
    }
    return mask;
}

bool isExactBit(char c) {
    return isAsciiLower(c) || isAsciiDigit(c);
}

// A first occurrence as a Match keeps it: exact, or 0 (a place before it) when too far.
std::uint16_t atBefore(std::size_t at) {
    return at < kNone ? static_cast<std::uint16_t>(at) : std::uint16_t{0};
}

#if defined(__SSE2__)
// Bit i set where p[i] is the byte that `wanted` holds 16 times, for i < 64.
inline std::uint64_t bytePositions(__m128i a, __m128i b, __m128i c, __m128i d, __m128i wanted) {
    const auto bits = [&](__m128i chunk) {
        return static_cast<std::uint64_t>(
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, wanted))));
    };
    return bits(a) | bits(b) << 16 | bits(c) << 32 | bits(d) << 48;
}
#endif

bool startsWord(std::string_view title, std::size_t at) {
    if (at == 0) {
        return true;
    }
    std::size_t start = 0;
    return !isWordCharacter(utf8CharBefore(title, at, start));
}

// The tier of a title holding the query first at `at`. Tiers from `blurred` on are not told
// apart (the caller needs none of them): Anywhere stands for them all.
int substringTier(std::string_view title, std::string_view query, std::size_t at, int blurred) {
    if (at == 0) {
        return static_cast<int>(title.size() == query.size() ? MatchTier::WholeTitle
                                                             : MatchTier::Prefix);
    }
    if (static_cast<int>(MatchTier::WordStart) < blurred) {
        for (; at != std::string_view::npos; at = findIn(title, query, at + 1)) {
            if (startsWord(title, at)) {
                return static_cast<int>(MatchTier::WordStart);
            }
        }
    }
    return static_cast<int>(MatchTier::Anywhere);
}

}  // namespace

std::optional<MatchTier> matchTier(std::string_view foldedTitle, std::string_view foldedQuery) {
    if (foldedQuery.empty()) {
        return std::nullopt;
    }
    const std::size_t at = foldedTitle.find(foldedQuery);
    if (at != std::string_view::npos) {
        return static_cast<MatchTier>(substringTier(foldedTitle, foldedQuery, at, kTierCount));
    }
    const PreparedQuery prepared(foldedQuery);
    if (inOrderFrom(foldedTitle, prepared.characters, 0, 0) != std::string_view::npos) {
        return MatchTier::InOrder;
    }
    return std::nullopt;
}

QuickFind::QuickFind(const std::vector<std::string>& shownTitles) {
    assign(shownTitles);
}

void QuickFind::assign(const std::vector<std::string>& shownTitles) {
    text_.clear();
    std::size_t total = 0;
    for (const std::string& title : shownTitles) {
        total += title.size();
    }
    text_.reserve(total + total / 8 + kPadding);
    spans_.assign(shownTitles.size(), Span{0, 0});
    masks_.assign(shownTitles.size(), 0);
    for (std::size_t i = 0; i < shownTitles.size(); ++i) {
        append(shownTitles[i], i);
    }
    text_.append(kPadding, '\0');
    unused_ = 0;
    levels_.clear();
}

void QuickFind::append(std::string_view shownText, std::size_t entry) {
    const std::size_t start = text_.size();
    appendShownFolded(text_, shownText);
    spans_[entry] =
        Span{static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(text_.size() - start)};
    masks_[entry] = characterBits(std::string_view(text_).substr(start));
}

void QuickFind::setTitle(int entry, std::string_view shownText) {
    const auto at = static_cast<std::size_t>(entry);
    unused_ += spans_.at(at).length;
    text_.resize(text_.size() - kPadding);
    append(shownText, at);
    text_.append(kPadding, '\0');
    levels_.clear();
    if (unused_ > text_.size() / 2) {
        // Mostly replaced text: write the live titles anew.
        std::string live;
        live.reserve(text_.size() - unused_);
        for (Span& span : spans_) {
            const std::size_t start = live.size();
            live.append(text_, span.start, span.length);
            span.start = static_cast<std::uint32_t>(start);
        }
        live.append(kPadding, '\0');
        text_ = std::move(live);
        unused_ = 0;
    }
}

std::vector<QuickFind::Match> QuickFind::takeSpare() {
    if (spare_.empty()) {
        return {};
    }
    std::vector<Match> taken = std::move(spare_.back());
    spare_.pop_back();
    taken.clear();
    return taken;
}

std::string_view QuickFind::foldedTitle(int entry) const {
    const Span& span = spans_.at(static_cast<std::size_t>(entry));
    return std::string_view(text_).substr(span.start, span.length);
}

QuickFindResult QuickFind::find(std::string_view query, std::size_t limit) {
    QuickFindResult result;
    std::string folded = foldShownText(query);
    // The longest earlier query this one continues: only its matches can match, and each
    // carries where that query stood in it.
    while (!levels_.empty() &&
           (folded.empty() || !std::string_view(folded).starts_with(levels_.back().query))) {
        spare_.push_back(std::move(levels_.back().matches));
        levels_.pop_back();
    }
    if (folded.empty() || limit == 0) {
        return result;
    }
    const Level* const base = levels_.empty() ? nullptr : &levels_.back();
    const PreparedQuery prepared(folded);
    const std::size_t knownCharacters =
        base == nullptr ? 0 : PreparedQuery(base->query).characters.size();
    const std::string_view q = prepared.text;
    std::uint64_t wanted = 0;
    for (const std::string_view c : prepared.characters) {
        wanted |= characterBits(c);
    }
    // A first letter or digit: its bit alone tells which titles hold it.
    const bool bitTells = base == nullptr && prepared.single && isExactBit(q[0]);
    // Whether a search for the query from where it starts (from the title's start, or from where
    // the shorter query, just its first character, first stands) meets the first character's
    // first place first: an ASCII character that is no blank.
    const auto firstByte = static_cast<unsigned char>(q[0]);
    const bool leadStartsInOrder = firstByte < 0x80 && firstByte != ' ' && firstByte != '\t' &&
                                   (base == nullptr || base->query.size() == 1);

#if defined(__SSE2__)
    __m128i broadcast[kShortQuery] = {};
    for (std::size_t k = 0; k < q.size() && k < kShortQuery; ++k) {
        broadcast[k] = _mm_set1_epi8(q[k]);
    }
    std::vector<std::size_t> characterOffsets;
    for (const std::string_view c : prepared.characters) {
        characterOffsets.push_back(static_cast<std::size_t>(c.data() - q.data()));
    }
#endif

    std::vector<Match> matches = takeSpare();
    matches.reserve(base != nullptr ? base->matches.size() : spans_.size());
    std::array<std::vector<QuickFindHit>, kTierCount> tiers;
    std::array<std::size_t, kTierCount> counts{};
    // A hit of this tier or a worse one can't be among the first `limit` any more: as many
    // better or earlier ones fill them. Such hits need no exact tier.
    int blurred = kTierCount;
    const auto rank = [&](int entry, int tier) {
        ++counts[static_cast<std::size_t>(tier)];
        if (tier >= blurred) {
            return;
        }
        tiers[static_cast<std::size_t>(tier)].push_back(
            QuickFindHit{entry, static_cast<MatchTier>(tier)});
        std::size_t upTo = 0;
        for (int t = 0; t < blurred; ++t) {
            upTo += counts[static_cast<std::size_t>(t)];
            if (upTo >= limit) {
                blurred = t;
                break;
            }
        }
    };
    const auto consider = [&](int entry, std::uint16_t lastAt, std::uint16_t lastEnd,
                              bool continuing) {
        if ((masks_[static_cast<std::size_t>(entry)] & wanted) != wanted) {
            return;
        }
        const Span span = spans_[static_cast<std::size_t>(entry)];
        const std::string_view title(text_.data() + span.start, span.length);
        if (bitTells) {
            if (title[0] == q[0] || static_cast<int>(MatchTier::WordStart) < blurred) {
                const std::size_t at = findIn(title, q, 0);
                matches.push_back(Match{entry, atBefore(at), kNone});
                rank(entry, substringTier(title, q, at, blurred));
            } else {
                matches.push_back(Match{entry, 0, kNone});
                rank(entry, static_cast<int>(MatchTier::Anywhere));
            }
            return;
        }
#if defined(__SSE2__)
        // (A title that held the shorter query only in order needs just the new characters
        // looked for, which the search below does from where it stopped.)
        if (span.length <= kShortTitle && q.size() <= kShortQuery &&
            !(continuing && lastEnd != kNone)) {
            // Where each query byte stands in the title, as bits: the query occurs where all
            // of them do, shifted by their place; its characters in order are a few steps.
            const char* const p = title.data();
            const __m128i c0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i c1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
            const __m128i c2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
            const __m128i c3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48));
            const std::uint64_t valid =
                span.length == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << span.length) - 1;
            std::array<std::uint64_t, kShortQuery> bits;
            std::uint64_t occurs = valid;
            for (std::size_t k = 0; k < q.size(); ++k) {
                bits[k] = bytePositions(c0, c1, c2, c3, broadcast[k]) & valid;
                occurs &= bits[k] >> k;
            }
            if (occurs != 0) {
                const auto at = static_cast<std::size_t>(__builtin_ctzll(occurs));
                matches.push_back(Match{entry, static_cast<std::uint16_t>(at), kNone});
                int tier = static_cast<int>(MatchTier::Anywhere);
                if (at == 0) {
                    tier = static_cast<int>(title.size() == q.size() ? MatchTier::WholeTitle
                                                                     : MatchTier::Prefix);
                } else if (static_cast<int>(MatchTier::WordStart) < blurred) {
                    for (std::uint64_t rest = occurs; rest != 0; rest &= rest - 1) {
                        if (startsWord(title, static_cast<std::size_t>(__builtin_ctzll(rest)))) {
                            tier = static_cast<int>(MatchTier::WordStart);
                            break;
                        }
                    }
                }
                rank(entry, tier);
                return;
            }
            if (prepared.single || prepared.characters.empty()) {
                return;
            }
            std::size_t from = 0;
            for (std::size_t j = 0; j < prepared.characters.size(); ++j) {
                if (from >= span.length) {
                    return;
                }
                std::uint64_t found = valid & (~std::uint64_t{0} << from);
                const std::size_t offset = characterOffsets[j];
                const std::size_t length = prepared.characters[j].size();
                for (std::size_t k = 0; k < length; ++k) {
                    found &= bits[offset + k] >> k;
                }
                if (found == 0) {
                    return;
                }
                from = static_cast<std::size_t>(__builtin_ctzll(found)) + length;
            }
            matches.push_back(Match{entry, kNone, static_cast<std::uint16_t>(from)});
            rank(entry, static_cast<int>(MatchTier::InOrder));
            return;
        }
#endif
        std::size_t at = std::string_view::npos;
        std::size_t lead = std::string_view::npos;
        if (!continuing) {
            at = findIn(title, q, 0, &lead);
        } else if (lastAt != kNone) {
            // The longer query occurs where the shorter one does.
            at = findIn(title, q, lastAt, &lead);
        }
        if (at != std::string_view::npos) {
            matches.push_back(Match{entry, atBefore(at), kNone});
            rank(entry, substringTier(title, q, at, blurred));
            return;
        }
        if (prepared.single) {
            return;
        }
        std::size_t end = std::string_view::npos;
        if (leadStartsInOrder && (!continuing || lastAt != kNone)) {
            // The search began where the first character first stands: the in-order match takes
            // that one.
            if (lead != std::string_view::npos) {
                end = inOrderFrom(title, prepared.characters, 1, lead + 1);
            }
        } else if (continuing && lastEnd != kNone) {
            end = inOrderFrom(title, prepared.characters, knownCharacters, lastEnd);
        } else {
            end = inOrderFrom(title, prepared.characters, 0, 0);
        }
        if (end != std::string_view::npos) {
            // An end too far to keep is worked out again by the next query.
            matches.push_back(
                Match{entry, kNone, end < kNone ? static_cast<std::uint16_t>(end) : kNone});
            rank(entry, static_cast<int>(MatchTier::InOrder));
        }
    };
    if (base != nullptr) {
        for (const Match& m : base->matches) {
            consider(m.entry, m.at, m.end, true);
        }
    } else {
        for (std::size_t entry = 0; entry < spans_.size(); ++entry) {
            consider(static_cast<int>(entry), kNone, kNone, false);
        }
    }

    result.total = matches.size();
    for (const auto& tier : tiers) {
        for (const QuickFindHit& hit : tier) {
            if (result.hits.size() == limit) {
                break;
            }
            result.hits.push_back(hit);
        }
    }
    if (prepared.characters.empty()) {
        // Blanks only: a longer query may match titles this one does not (its characters in
        // order need no blank), so it can't narrow the next one.
        spare_.push_back(std::move(matches));
    } else if (base != nullptr && base->query == folded) {
        spare_.push_back(std::move(levels_.back().matches));
        levels_.back().matches = std::move(matches);
    } else {
        if (levels_.size() == kMaxLevels) {
            levels_.erase(levels_.begin());
        }
        levels_.push_back(Level{std::move(folded), std::move(matches)});
    }
    while (spare_.size() > kSpareLevels) {
        spare_.pop_back();
    }
    return result;
}

}  // namespace pelmaro
