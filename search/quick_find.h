#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Quick find: filters the whole title list as the user types, on the titles as shown (decoded),
// folded as shown text (search/shown_text.h): Unicode case-insensitive (simple case folding), NFC,
// every run of white space one space.
namespace pelmaro {

// How well a title matches a query, best first.
enum class MatchTier : std::uint8_t {
    WholeTitle,  // the title is the query
    Prefix,      // the title starts with the query
    WordStart,   // the query starts a word of the title (after a character that is no letter,
                 // mark or digit)
    Anywhere,    // the title contains the query
    InOrder,     // the title holds the query's characters in order (a subsequence; the query's
                 // blanks are not looked for)
};

// The tier of a title for a query, both folded already (foldShownText); none when the title
// does not match. An empty query matches nothing.
std::optional<MatchTier> matchTier(std::string_view foldedTitle, std::string_view foldedQuery);

struct QuickFindHit {
    int entry;
    MatchTier tier;
    bool operator==(const QuickFindHit&) const = default;
};

struct QuickFindResult {
    // The best matches: by tier, then in catalogue order; at most the limit asked for.
    std::vector<QuickFindHit> hits;
    // How many titles match in all (hits.size() is less when the limit cut them).
    std::size_t total = 0;
};

// The shown titles of a catalogue, folded once, and the matches of the last queries, so that a
// query that grows by a keystroke only looks again at the titles the shorter one matched (every
// title that matches a query also matches each of its beginnings). Cost per query: a pass over
// the titles that matched the longest cached beginning of it (all titles for a first character
// or a query that is not a continuation): a few milliseconds for 200,000 titles; see
// bench/quick_find_bench.cpp. One thread at a time.
class QuickFind {
public:
    // The number of hits a query returns unless asked otherwise: more than a list shows, few
    // enough to hand to it at once.
    static constexpr std::size_t kDefaultLimit = 500;

    QuickFind() = default;
    // Entry i is shownTitles[i] (UTF-8, as TitleDecoder gives it).
    explicit QuickFind(const std::vector<std::string>& shownTitles);

    // Replaces all titles.
    void assign(const std::vector<std::string>& shownTitles);
    // Replaces the shown text of one entry (0 <= entry < size()), e.g. when it has been decoded
    // since; forgets the cached matches.
    void setTitle(int entry, std::string_view shownText);
    std::size_t size() const { return spans_.size(); }
    // The folded text of an entry, as queries are matched against it.
    std::string_view foldedTitle(int entry) const;

    // The titles that match `query` (UTF-8 as typed), ranked: whole title, prefix, word start,
    // anywhere, letters in order; ties in catalogue order. At most `limit` hits.
    QuickFindResult find(std::string_view query, std::size_t limit = kDefaultLimit);

private:
    struct Span {
        std::uint32_t start;
        std::uint32_t length;
    };
    // A title that matches a query, and where: what the next, longer query starts from.
    struct Match {
        int entry;
        std::uint16_t at;   // at or before the query's first occurrence, or kNone when it
                            // does not occur
        std::uint16_t end;  // where the query's characters, taken in order as early as they
                            // come, end; kNone when not worked out (or beyond 65,534 bytes)
    };
    // The matches of one query; each level's query begins with the one before.
    struct Level {
        std::string query;
        std::vector<Match> matches;  // in catalogue order, every tier
    };

    void append(std::string_view shownText, std::size_t entry);
    std::vector<Match> takeSpare();

    std::string text_;  // the folded titles, one after another
    std::vector<Span> spans_;
    // Which bytes each title holds, a bit a letter or digit and shared bits for the rest
    // (characterBits): a title lacking a bit of the query can't match it.
    std::vector<std::uint64_t> masks_;
    std::vector<std::vector<Match>> spare_;  // storage of forgotten levels, for new ones
    std::size_t unused_ = 0;                 // bytes of text_ no span refers to any more
    std::vector<Level> levels_;
};

}  // namespace pelmaro
