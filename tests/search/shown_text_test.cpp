#include "search/shown_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "page/text_encoding.h"
#include "platform/byte_text.h"
#include "platform/error.h"
#include "search/quick_find.h"
#include "search/shown_text_search.h"
#include "search/title_search.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/resume_points.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

// The same search through every way a file can be read: whole, and in blocks and reads of a
// few bytes, so that references, tags, characters and white space runs are cut everywhere.
bool scanFinds(const std::string& name, const std::string& bytes, const std::string& text) {
    test::FakeFileSystem files;
    files.inMemory[name] = bytes;
    bool first = true;
    bool found = false;
    for (const std::size_t block :
         {std::size_t{1}, std::size_t{3}, std::size_t{7}, FileTextScanner::kDefaultBlockSize}) {
        for (const std::size_t chunk : {std::size_t{1}, std::size_t{5}, std::size_t{1} << 20}) {
            files.chunk = chunk;
            ShownTextScanner scanner(text, block);
            const bool now = scanner.scan(files, name) == ShownTextScanner::Outcome::Found;
            EXPECT_TRUE(first || now == found)
                << "block " << block << ", chunk " << chunk << ": " << text << " in " << bytes;
            found = now;
            first = false;
        }
    }
    return found;
}

// What a reader sees once decoded: shared by the full-text search (a .txt file holding it),
// the title search (F3/F4) and quick find.
TEST(ShownText, FoldingIsTheSameForPagesTitlesAndQuickFind) {
    struct Case {
        const char* shown;
        const char* text;
        bool found;
    };
    const Case cases[] = {
        // Unicode simple case folding
        {"ÉTÉ en France", "été", true},
        {"ΣΟΦΙΑ", "σοφια", true},
        {"Straße", "STRASSE", false},  // simple folding: "ß" stays one character
        {"KELVIN", "\u212Aelvin", true},
        // NFC: a letter and its accent typed apart are the letter with its accent
        {"cafe\u0301 noir", "café", true},
        {"café noir", "cafe\u0301", true},
        {"\u1100\u1161\u11A8", "\uAC01", true},        // Hangul jamo compose into a syllable
        {"ca\u0323\u0302", "c\u1EAD", true},           // marks in canonical order first
        {"\u0301\u0323x", "\u0323\u0301x", true},      // marks with no letter before them too
        {"\u4E2D\u304B\u3099", "\u4E2D\u304C", true},  // a kana after a kanji takes its mark
        {"\u0410\u0306", "\u04D0", true},
        {"caf\u00E9\u0323", "cafe\u0323\u0301",
         true},  // a composed letter takes a mark              // and a Cyrillic letter its breve
        {"\u0915\u093C", "\u0958", true},  // (an exclusion: both decompose)
        {"cafe", "café", false},
        // White space: any run matches one space; none at either end
        {"Chapter\u00A09. Functions", "chapter 9", true},
        {"Chapter\r\n\t 9", "Chapter 9", true},
        {"Chapter\u20039", "chapter  9", true},
        {"Chapter9", "chapter 9", false},
        {"set\nup", "setup", false},
        {"anything", " \t ", false},
        {"anything", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(scanFinds("/p/page.txt", c.shown, c.text), c.found) << c.shown << " / " << c.text;
        EXPECT_EQ(titleMatches(c.shown, c.text), c.found) << c.shown << " / " << c.text;
        // Quick find also takes the letters in order, blanks aside: the text itself is what
        // its better tiers look for.
        QuickFind quickFind(std::vector<std::string>{c.shown});
        const QuickFindResult result = quickFind.find(c.text);
        EXPECT_EQ(!result.hits.empty() && result.hits[0].tier != MatchTier::InOrder, c.found)
            << c.shown << " / " << c.text;
    }
}

TEST(ShownText, QuickFindRanksATitleWithANoBreakSpaceAsAPrefixMatch) {
    QuickFind quickFind(std::vector<std::string>{"Appendix to Chapter 9",
                                                 "Chapter\u00A09. Functions", "Chapter 90"});
    const QuickFindResult result = quickFind.find("chapter 9");
    ASSERT_EQ(result.total, 3u);
    EXPECT_EQ(result.hits[0], (QuickFindHit{1, MatchTier::Prefix}));
    EXPECT_EQ(result.hits[1], (QuickFindHit{2, MatchTier::Prefix}));
    EXPECT_EQ(result.hits[2], (QuickFindHit{0, MatchTier::WordStart}));
}

TEST(ShownText, PagesAreSearchedInWhatTheyShow) {
    const std::string kMore(" and the rest of the page", 16);
    struct Case {
        const char* name;
        std::string bytes;
        const char* text;
        bool found;
    };
    const Case cases[] = {
        // Markup: tags, comments, script and style are not shown,
        {"a.htm", "<div class=\"navheader\">Next</div>", "navheader", false},
        {"a.htm", "<link rel=\"stylesheet\" href=\"s.css\"><p>Body", "stylesheet", false},
        {"a.htm", "<img alt=\"diagram\" src=\"d.png\">", "diagram", false},
        {"a.htm", "<!-- walsender --><p>other", "walsender", false},
        {"a.htm", "<script>if (a<b) walsender();</script>x", "walsender", false},
        {"a.htm", "<SCRIPT>var s = '</scr' + 'ipt>';</SCRIPT >shown", "shown", true},
        {"a.htm", "<style>p { color: red }</style>text", "color", false},
        // nor what stands in for scripts, frames and plugins, nor templates
        {"a.htm", "<NOSCRIPT><div>JavaScript is disabled.</div></noscript >Shown", "disabled",
         false},
        {"a.htm", "<noscript><p>x</p></noscript><p>Shown", "shown", true},
        {"a.htm", "<iframe src=f.htm>Frames not supported</iframe>", "frames", false},
        {"a.htm", "<template><tr><td>Row</td></tr></template>", "row", false},
        {"a.htm", "<noscripts>Custom</noscripts>", "custom", true},
        // Tag names of every length and case, with more of the page after them: a block's edge
        // parts words, an inline tag none
        {"a.htm", "x<abcdefghijklmnopq>y</ABCDEFGHIJKLMNOPQ>z<Noframes>a</noframes>b" + kMore,
         "xyz b", true},
        {"a.htm",
         "e<H1>f</H1>g<p2>h</p2>i<BlockQuote>j</blockquote><TEXTAREA>k</textarea>l" + kMore,
         "e f ghi j k l", true},
        {"a.htm", "<noframesx>shown</noframesx>" + kMore, "shown", true},
        // A short stretch ending in white space, before an inline tag: one space between
        {"a.htm", "<p>ab \n<b>x</b>" + kMore, "ab x", true},
        {"a.htm", "<?xml version=\"1.0\"?><!DOCTYPE html><p>walsender", "walsender", true},
        {"a.htm", "<title>The Title</title><p>body", "the title", true},
        {"a.htm", "<a title='x>y' href=x>link text</a>", "link text", true},
        {"a.htm", "a < b and c > d", "a < b and c > d", true},
        // block tags and <br> part words, inline tags don't
        {"a.htm", "<p>Chapter</p><p>9</p>", "chapter 9", true},
        {"a.htm", "one<br>two", "one two", true},
        {"a.htm", "one<br/>two", "onetwo", false},
        {"a.htm", "<td>a</td><td>b</td>", "a b", true},
        {"a.htm", "<b>bo</b>ld and <i>it</i>alic", "bold and italic", true},
        // character references
        {"a.htm", "std::ostream&amp; operator&lt;&lt;(", "operator<<", true},
        {"a.htm", "caf&eacute; cr&#232;me &#x26; more", "café crème & more", true},
        {"a.htm", "Chapter&nbsp;9. Functions", "chapter 9", true},
        {"a.htm", "AT&T; &copy 2024 &unknown;", "at&t; © 2024 &unknown;", true},
        {"a.htm", "&lt;b&gt;", "<b>", true},
        {"a.htm", "say &quot;hi&quot; &LT;b&GT; &lt", "say \"hi\" <b> <", true},
        // encodings: declared, byte-order marks, detected
        {"a.htm", "<meta charset=\"iso-8859-1\"><p>\xC9T\xC9", "été", true},
        {"a.htm", "<p>caf\xE9 au lait", "café", true},  // not UTF-8: windows-1252
        {"a.htm", "<p>caf\xC3\xA9", "café", true},
        {"a.htm",
         "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">"
         "<p>\x93\xFA\x96\x7B\x8C\xEA",
         "日本語", true},
        {"a.htm", "<meta charset=\"gbk\"><p>\xD6\xD0\xCE\xC4", "中文", true},
        {"a.htm", std::string("\xFF\xFE<\0p\0>\0\xE9\0t\0\xE9\0", 14), "ÉTÉ", true},
        // a lone surrogate is one unreadable unit: the text after it is read in step
        {"a.txt", std::string("\xFF\xFE\x61\0b\0\x00\xD8\x63\0d\0", 12), "b\uFFFD\x63\x64", true},
        // nothing after a U+0000 is text, not even what can't be read
        {"a.txt", std::string("\xFF\xFE\x61\0\0\0\x00\xD8", 8), "a\uFFFD", false},
        {"a.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-15\"?><r>\xA4</r>", "€", true},
        // plain text: everything shown, markup included, references not decoded
        {"a.txt", "<b>SETUP</b>", "<b>setup", true},
        {"a.txt", "caf&eacute;", "café", false},
        {"a.txt",
         "\xEF\xBB\xBF"
         "caf\xC3\xA9",
         "café", true},
        {"a.txt", "na\xEFve", "naïve", true},
        {"a.txt", std::string("before\0after", 12), "after", false},
        {"a.htm", std::string("<script>a\0b</script><p>after", 28), "after", false},
        {"a.htm", std::string("<a title=\"x\0y\">after</a>", 24), "after", false},
        {"a.htm", std::string("<!x\0y><p>after", 14), "after", false},
        // RTF: its text, not its control words
        {"a.txt", "{\\rtf1\\ansi caf\\'e9 \\b bold\\b0}", "café bold", true},
        {"a.txt", "{\\rtf1\\ansi \\u233?t\\u233?}", "ÉTÉ", true},
        {"a.txt", "{\\rtf1\\ansi \\b bold\\b0}", "ansi", false},
        // images: their file name only
        {"Network Diagram.gif", "GIF89a walsender", "walsender", false},
        {"Network Diagram.gif", "GIF89a", "network diagram", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(scanFinds(std::string("/docs/") + c.name, c.bytes, c.text), c.found)
            << c.text << " in " << c.name << ": " << c.bytes;
    }
}

TEST(ShownText, FoldedFormIsNfcLowerCaseWithSingleSpaces) {
    EXPECT_EQ(foldShownText("  Chapter\u00A0\u00A09.\r\nCAFE\u0301  "), "chapter 9. café");
    std::string appended = "x|";
    appendShownFolded(appended, "Plain ASCII Title");
    appendShownFolded(appended, "|ÉTÉ  Two");
    EXPECT_EQ(appended, "x|plain ascii title|été two");
}

// Runs of ASCII go through in bulk, sixteen or eight bytes at a time: cut anywhere by white
// space, controls, the bytes beside the letters' ranges, inline tags and references, they give
// what a plain definition does, folded or as written, as markup's text or as a text file.
TEST(ShownText, LongAsciiRunsShowAsThePlainDefinitionSays) {
    const auto definition = [](std::string_view bytes, bool fold) {
        std::string shown;
        bool space = false;
        for (const char c : bytes) {
            if (c == ' ' || (c >= '\t' && c <= '\r')) {
                space = !shown.empty();
                continue;
            }
            if (space) {
                shown += ' ';
                space = false;
            }
            shown += fold ? lowerAZ(c) : c;
        }
        return shown;
    };
    // Each piece with what markup shows of it.
    const std::pair<std::string, std::string> pieces[] = {
        {"Lorem", "Lorem"}, {"IPSUM", "IPSUM"},
        {"dolor", "dolor"}, {" ", " "},
        {" ", " "},         {"  ", "  "},
        {"\t", "\t"},       {"\r\n", "\r\n"},
        {"@", "@"},         {"[", "["},
        {"`", "`"},         {"{", "{"},
        {"~", "~"},         {"\x7f", "\x7f"},
        {"\x01", "\x01"},   {"Z", "Z"},
        {"a", "a"},         {"\xc3\xa9", "\xc3\xa9"},
        {"<b>", ""},        {"</b>", ""},
        {"&amp;", "&"},     {"consecteturADIPISCING", "consecteturADIPISCING"}};
    std::uint32_t seed = 12345;
    for (int round = 0; round < 400; ++round) {
        std::string bytes;
        std::string markupShows;
        const int count = round % 40;
        for (int i = 0; i < count; ++i) {
            seed = seed * 1103515245 + 12345;
            const auto& [piece, shows] = pieces[(seed >> 16) % std::size(pieces)];
            bytes += piece;
            markupShows += shows;
        }
        for (const bool fold : {true, false}) {
            for (const ShownKind kind : {ShownKind::PlainText, ShownKind::Markup}) {
                ShownTextProducer producer;
                producer.start(kind, ShownTextProducer::Encoding::MixedUtf8,
                               fold ? ShownTextProducer::Letters::Folded
                                    : ShownTextProducer::Letters::AsWritten);
                std::string shown;
                producer.feed(bytes, shown);
                producer.finish(shown);
                EXPECT_EQ(shown, definition(kind == ShownKind::Markup ? markupShows : bytes, fold))
                    << fold << " " << bytes;
            }
        }
    }
}

TEST(ShownTextMatcher, ReportsTheFirstHitAndCountsHitsAcrossPieces) {
    ShownTextMatcher matcher("Ab");
    matcher.reset(true);
    for (const char* piece : {"xa", "b a", "bab", "", "a"}) {
        matcher.feed(piece);
    }
    matcher.feed("b");
    // "xab abab" + "ab": hits at 1, 4, 6 and 8
    EXPECT_EQ(matcher.firstHit(), std::optional<std::size_t>(1));
    EXPECT_EQ(matcher.hits(), 4u);

    // Hits from a place on, the first of them cut by a piece's end; a restart keeps the place.
    matcher.reset(false, 2);
    matcher.feed("xab a");
    matcher.restart();
    EXPECT_FALSE(matcher.feed("xab a"));
    EXPECT_TRUE(matcher.feed("bab"));
    EXPECT_EQ(matcher.firstHit(), std::optional<std::size_t>(4));
    EXPECT_EQ(matcher.hits(), 1u);

    ShownTextMatcher overlapping("aa");
    overlapping.reset(true);
    overlapping.feed("aaa");
    overlapping.feed("a");
    EXPECT_EQ(overlapping.hits(), 2u);  // hits don't overlap

    overlapping.reset();
    EXPECT_TRUE(overlapping.feed("xaa"));
    EXPECT_EQ(overlapping.hits(), 1u);  // the first is enough
}

TEST(ShownTextScanner, HugeFileIsReadInBlocksAndCanBeAbandoned) {
    test::FakeFileSystem files;
    const std::string name = "/docs/huge.htm";
    files.inMemory[name] =
        "<p>" + std::string(3 * FileTextScanner::kBytesBetweenPauses, 'a') + " needle";
    ShownTextScanner scanner("needle");
    int pauses = 0;
    EXPECT_EQ(scanner.scan(files, name, [&] { return ++pauses < 2; }),
              ShownTextScanner::Outcome::Abandoned);
    EXPECT_EQ(scanner.scan(files, name), ShownTextScanner::Outcome::Found);
}

// A sink that looks at each page's bytes first, and records the blocks it was shown.
class FirstLooks final : public ShownTextSink {
public:
    bool take(std::string_view) override { return false; }
    void restart() override {}
    bool wantsFirstLook() const override { return true; }
    Look passOver(std::string_view block, std::size_t, bool first, bool last, ShownKind) override {
        blocks.push_back({block.size(), first, last});
        return Look::PassOver;
    }
    std::vector<std::tuple<std::size_t, bool, bool>> blocks;
};

TEST(ShownTextReader, FirstLookSeesEveryBlockTheFirstHoldingTheHead) {
    test::FakeFileSystem files;
    files.inMemory["/docs/small.htm"] = std::string(100, 'b');
    files.inMemory["/docs/large.htm"] = std::string(kPageHeadSize + 40, 'a');
    files.inMemory["/docs/even.htm"] = std::string(kPageHeadSize + 32, 'c');
    ShownTextReader reader(16);
    FirstLooks sink;
    for (const char* name : {"/docs/large.htm", "/docs/small.htm", "/docs/even.htm"}) {
        EXPECT_EQ(reader.read(files, name, sink), ShownTextReader::Outcome::NotFound) << name;
    }
    using Block = std::tuple<std::size_t, bool, bool>;
    // After the first, each block starts with the end of the one before; a page that ends with
    // a block is told so with the end of that block alone.
    EXPECT_EQ(sink.blocks, (std::vector<Block>{{kPageHeadSize, true, false},
                                               {kLookOverlap + 16, false, false},
                                               {kLookOverlap + 16, false, false},
                                               {kLookOverlap + 8, false, true},
                                               {100, true, true},
                                               {kPageHeadSize, true, false},
                                               {kLookOverlap + 16, false, false},
                                               {kLookOverlap + 16, false, false},
                                               {kLookOverlap, false, true}}));
}

// A page's resume points (ShownTextProducer::noteResumePoints) `spacing` apart, as an index keeps
// them for the file as it is now.
ResumePoints resumePointsOf(platform::FileSystem& files, const std::string& name,
                            std::size_t spacing) {
    ResumePoints resume = test::notedResumePoints(test::readFile(name), spacing);
    resume.stamp = *files.fileStamp(name);
    return resume;
}

// The word where it shows and where it doesn't (attributes, comments, scripts, a tag's quoted
// "<" and ">"), cut by tags and written as references, on pages of one block and of several.
TEST(ShownTextScanner, ResumePointsFindExactlyWhatTheWholeReadingFinds) {
    test::TempDir dir;
    test::FakeFileSystem files;
    std::string filler;
    for (int i = 0; i < 40; ++i) {
        filler += "<p class=\"needle\">Lorem <b>ipsum</b> dolor sit amet.</p>\n";
    }
    const std::string huge(FileTextScanner::kDefaultBlockSize, 'x');
    std::vector<std::string> pages = {
        filler + "<p>a needle here</p>" + filler,
        filler + "<a title=\"x > needle < y\">link</a>" + filler,
        filler + "<!-- <p>needle</p> -->" + filler + "<i>x</i>nee<b>dle</b><i>e</i>&#x301;x",
        filler + "<script>" + std::string(600, ' ') + "var a = '<p>needle</p>';</script>" + filler,
        filler + "<p>n&#101;edle</p><p>needle&#x301;</p><p>&#x301;needle</p>",
        filler + "<p>" + huge + "</p><p>needle at the end</p>",
        "<p>" + huge.substr(0, huge.size() - 700) + "</p>" + filler + "<p>needle</p>",
        "<title>needle</title>" + filler,
        "<p>caf\xe9 needle</p>" + filler,
        filler + "<b>x</b> at the very end: needle",
        filler + "<p>sit <i>x</i>amet</p>" + filler,
    };
    // Ending with the word where a block of the reading ends.
    const std::string tail = "</p><b>x</b> at the very end: needle";
    pages.push_back(
        filler + "<p>" +
        std::string(2 * FileTextScanner::kDefaultBlockSize - filler.size() - 3 - tail.size(), 'y') +
        tail);
    const std::vector<std::string> texts = {"needle",      "NEEDLE",
                                            "needl",       "eedle",
                                            "needle here", "amet. a ",
                                            "needlé",      "café needle",
                                            "x needle",    "dolor",
                                            "needle x",    "\u0301x",
                                            "sit amet",    "sit amet. a needle",
                                            "sit xamet"};
    for (std::size_t n = 0; n < pages.size(); ++n) {
        const std::string name = dir.write("p" + std::to_string(n) + ".htm", pages[n]);
        for (const std::size_t spacing : {std::size_t{1}, std::size_t{300}, std::size_t{2048}}) {
            const ResumePoints resume = resumePointsOf(files, name, spacing);
            for (const std::size_t chunk : {std::size_t{7}, std::size_t{1} << 20}) {
                files.chunk = chunk;
                for (const std::string& text : texts) {
                    ShownTextScanner scanner(text);
                    const auto whole = scanner.scan(files, name);
                    EXPECT_EQ(scanner.scan(files, name, {}, &resume), whole)
                        << "page " << n << ", spacing " << spacing << ", chunk " << chunk << ": "
                        << text;
                }
            }
        }
    }
}

// Points noted before the page was rewritten are of no use after: here they would all stand in
// a script that now runs to its end.
TEST(ShownTextScanner, ResumePointsOfAnEarlierFileAreNotUsed) {
    test::TempDir dir;
    test::FakeFileSystem files;
    std::string page = "<p>x</p>";
    for (int i = 0; i < 100; ++i) {
        page += "<p>some <b>needle</b> text</p>";
    }
    const std::string name = dir.write("page.htm", page);
    const ResumePoints resume = resumePointsOf(files, name, 1);
    ASSERT_GT(resume.offsets.size(), 100U);
    ShownTextScanner scanner("needle");
    EXPECT_EQ(scanner.scan(files, name, {}, &resume), ShownTextScanner::Outcome::Found);
    dir.write("page.htm", "<script>" + page.substr(8));
    EXPECT_EQ(scanner.scan(files, name, {}, &resume), ShownTextScanner::Outcome::NotFound);
}

TEST(ShownTextScanner, FileThatCantBeOpenedFailsEvenWhenOnlyItsNameIsSearched) {
    test::FakeFileSystem files;
    ShownTextScanner scanner("logo");
    EXPECT_THROW(scanner.scan(files, "/docs/gone/logo.gif"), Error);
    EXPECT_THROW(scanner.scan(files, "/docs/gone/logo.htm"), Error);
}

TEST(ShownTextProducer, RunawayMarksAndReferencesAreHandedOnNotHeld) {
    // A long run of combining marks or an endless reference name must not grow without bound.
    ShownTextProducer producer;
    producer.start(ShownKind::Markup);
    std::string out;
    std::string marks = "<p>a";
    for (int i = 0; i < 1000; ++i) {
        marks += "\u0301";
    }
    producer.feed(marks, out);
    producer.feed("&" + std::string(1000, 'x') + ";", out);
    producer.finish(out);
    EXPECT_TRUE(out.starts_with("\u00E1"));
    EXPECT_TRUE(out.ends_with(std::string(10, 'x') + ";"));
}

}  // namespace
}  // namespace pelmaro
