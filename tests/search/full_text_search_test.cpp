#include "search/full_text_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <stdexcept>
#include <stop_token>
#include <thread>

#include "platform/error.h"
#include "search/read_ahead.h"
#include "search/shown_text_search.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

using Indexes = std::vector<std::size_t>;

TEST(FileContainsText, answersByThePageTextOfTheFile) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    struct Case {
        std::string bytes;
        std::string text;
        bool found;
    };
    const Case cases[] = {
        {"<h1>SETUP</h1>", "Setup", true},
        {"install: set\r\nup", "Setup", true},
        {"setup\0", "", false},
        {std::string("x\0setup", 7), "setup", false},
        {"{\\rtf1 \\b SETUP\\b0}", "setup", true},
        {"{\\rtf1 \\b SETUP\\b0}", "rtf1", false},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = dir.write("page" + std::to_string(n++) + ".htm", c.bytes);
        EXPECT_EQ(fileContainsText(files, name, c.text), c.found) << c.text << " in " << c.bytes;
    }
    EXPECT_THROW(fileContainsText(files, dir / "gone.htm", "setup"), Error);
}

TEST(SearchFiles, tellsHitsInOrderAndSkipsWhatCantBeRead) {
    test::TempDir dir;
    test::FakeFileSystem files;
    const std::vector<std::string> paths = {
        dir.write("upper.htm", "<p>SETUP</p>"), dir.write("other.htm", "<p>nothing here</p>"),
        dir.write("broken.htm", "setup"),       dir / "gone.htm",
        dir.write("split.txt", "set\r\nup"),
    };
    files.failingReads.insert(paths[2]);
    // A line break is white space to a reader, and nothing to the stored-bytes rule.
    for (const auto& [rule, hits] : {std::pair{TextRule::Shown, Indexes{0}},
                                     std::pair{TextRule::StoredBytes, Indexes{0, 4}}}) {
        Indexes read;
        Indexes found;
        Indexes skipped;
        EXPECT_TRUE(searchFiles(
            files, paths, "Setup", {},
            {.reading = [&](std::size_t n) { read.push_back(n); },
             .found = [&](std::size_t n) { found.push_back(n); },
             .skipped = [&](std::size_t n, const std::string&) { skipped.push_back(n); }},
            rule));
        EXPECT_EQ(read, (Indexes{0, 1, 2, 3, 4}));
        EXPECT_EQ(found, hits);
        EXPECT_EQ(skipped, (Indexes{2, 3}));
    }
}

TEST(SearchFiles, stopBeforeTheNthFileKeepsOnlyTheHitsBeforeIt) {
    test::TempDir dir;
    test::FakeFileSystem files;
    files.threaded = false;  // read here, so that nothing is read ahead of the stop
    std::vector<std::string> paths;
    for (int i = 0; i < 20; ++i) {
        paths.push_back(dir.write("p" + std::to_string(i) + ".htm", i % 2 ? "hit" : "miss"));
    }
    std::stop_source stop;
    Indexes found;
    EXPECT_FALSE(searchFiles(files, paths, "hit", stop.get_token(),
                             {.reading =
                                  [&](std::size_t n) {
                                      if (n == 10) {
                                          stop.request_stop();
                                      }
                                  },
                              .found = [&](std::size_t n) { found.push_back(n); },
                              .skipped = {}}));
    EXPECT_EQ(found, (Indexes{1, 3, 5, 7, 9}));
    EXPECT_EQ(files.opened.load(), 10);
}

// The hand-over of the read-ahead under every search and index build: each item in order
// whatever the workers, the window and the pace (the taker waits for runs of items, the
// workers for room), a fault thrown where its item is taken, and an early end that hangs on
// nothing.
TEST(SearchFiles, readAheadHandsEveryItemOverInOrderWhateverThePace) {
    std::mt19937 random(3);
    for (const unsigned workers : {1U, 2U, 3U}) {
        for (const std::size_t window : {std::size_t{1}, std::size_t{2}, std::size_t{8}}) {
            for (const std::size_t count : {std::size_t{1}, std::size_t{7}, std::size_t{200}}) {
                std::vector<int> pauses(count);  // microseconds
                for (int& pause : pauses) {
                    pause = std::uniform_int_distribution(0, 3)(random) == 0 ? 200 : 0;
                }
                ReadAhead<std::size_t> ahead(count, workers, window, {}, [&pauses] {
                    return [&pauses](std::size_t n, const ReadAhead<std::size_t>::KeepGoing&) {
                        std::this_thread::sleep_for(std::chrono::microseconds(pauses[n]));
                        if (n % 13 == 12) {
                            throw std::runtime_error("item " + std::to_string(n));
                        }
                        return 2 * n;
                    };
                });
                for (std::size_t n = 0; n < count; ++n) {
                    if (n % 13 == 12) {
                        EXPECT_THROW(ahead.take(n), std::runtime_error);
                    } else {
                        EXPECT_EQ(ahead.take(n), 2 * n) << workers << " " << window << " " << n;
                    }
                }
            }
        }
    }
    ReadAhead<int> endsEarly(100000, 2, 4, {}, [] {
        return [](std::size_t, const ReadAhead<int>::KeepGoing&) { return 1; };
    });
    EXPECT_EQ(endsEarly.take(0), 1);
}

// A page is passed over by its bytes only when its shown text surely lacks the text: every page
// gets the same answer as when it is read in full.
TEST(ShownTextPrefilter, neverHidesAPageThatShowsTheText) {
    const std::vector<std::string> pieces = {
        "task", "group", "Task", "GROUP", "<b>", "</b>", "<a href='x>y'>", "<a title=\">\">",
        "<a =' >'>", "<!-- c -->", "<script>task</script>", "<STYLE>group</style>",
        "<noscript>x</noscript>", "<IFRAME>", "</iframe>", "&#116;", "&#x54;", "&#8490;",
        "\xE2\x84\xAA", "\xC5\xBF", "&fjlig;", "ord", "&amp;", "&nbsp;", " ", "\n", "<", "< ", "&",
        "e\xCC\x81", "\xC3\xA9", "elvin", "8", "s", "<br>", "<p>", "</", ">", "'", "\"", "=",
        "<?x?>", "<!x>", "</3>", "&#x53", "\xE9", "k", "&#75;x", std::string(1, '\0'),
        // Longer than a first look sees again.
        "<b title='" + std::string(1100, 'x') + "'>"};
    // The words inside tags, where they don't show, and after a '<' that is text; before a
    // page's pieces only whole tags, after them any.
    const std::vector<std::string> tags = {
        "<a href='task'>", "</task>",      "<!group>",        "<?task?>",
        "<kelvin>",        "<a k=kelvin>", "<!--group-->",    "<a title=\"<b group\">",
        "<a x=sord\n>",    "<3group",      "<&#116;askgroup", "< \xC5\xBFord"};
    const std::vector<std::string> unclosed = {"<group", "<a x=\"task", "<!--fjord", "<?sk8"};
    const std::vector<std::string> heads = {"",
                                            "<meta charset=windows-1252>",
                                            "<meta charset=utf-16>",
                                            "\xEF\xBB\xBF",
                                            "<meta charset=koi8-r>",
                                            "<?xml version='1.0' encoding='iso-8859-2'?>"};
    std::mt19937 random(7);
    std::mt19937 tagRandom(5);
    test::TempDir dir;
    platform::PosixFileSystem files;
    std::vector<std::string> names;
    for (int page = 0; page < 1500; ++page) {
        std::string bytes =
            heads[std::uniform_int_distribution<std::size_t>(0, heads.size() - 1)(random)];
        if (page % 2 == 0) {
            // Past the first look's first block, the page head, into blocks of their own.
            bytes += std::string(std::uniform_int_distribution(4000, 4100)(random), ' ');
        }
        const auto someOf = [&tagRandom](const std::vector<std::string>& these) {
            return these[std::uniform_int_distribution<std::size_t>(0,
                                                                    these.size() - 1)(tagRandom)];
        };
        bytes += page % 3 == 0 ? someOf(tags) : "";
        const int length = std::uniform_int_distribution(1, 30)(random);
        for (int i = 0; i < length; ++i) {
            bytes +=
                pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(random)];
        }
        bytes += page % 4 == 1 ? someOf(tags) : page % 4 == 3 ? someOf(unclosed) : "";
        names.push_back(
            dir.write("p" + std::to_string(page) + (page % 5 == 0 ? ".txt" : ".htm"), bytes));
    }
    for (const std::string text : {"taskgroup", "TASK GROUP", "kelvin", "fjord", "sord", "sk8",
                                   "ssk", "t&group", "group\xC3\xA9"}) {
        ShownTextScanner full(text);
        full.usePrefilter(false);
        std::vector<ShownTextScanner::Outcome> answers;
        for (const std::string& name : names) {
            answers.push_back(full.scan(files, name));
        }
        // The cases reach the pages that show it.
        EXPECT_GT(std::count(answers.begin(), answers.end(), ShownTextScanner::Outcome::Found), 0)
            << text;
        ShownTextScanner filteredInSmallBlocks(text, 16);  // pages larger than a block
        for (std::size_t n = 0; n < names.size(); ++n) {
            ASSERT_EQ(filteredInSmallBlocks.scan(files, names[n]), answers[n])
                << text << " in " << names[n];
        }
        // The first look with each of the processor's vector units.
        for (const VectorUnit unit : vectorUnitsHere()) {
            ShownTextScanner filtered(text);
            filtered.useVectorUnit(unit);
            for (std::size_t n = 0; n < names.size(); ++n) {
                ASSERT_EQ(filtered.scan(files, names[n]), answers[n])
                    << text << " by unit " << static_cast<int>(unit) << " in "
                    << test::readFile(names[n]);
            }
        }
    }
}

// Every vector unit finds the places where the word may start by the byte there and the two
// after it, in every lane of a block, its last two (which need the next block's bytes) included.
TEST(ShownTextPrefilter, everyVectorUnitFindsThePlacesOfEveryLane) {
    const std::string alphabet = "kKsSlL&<\xE2\xC5\x84 x+";
    std::mt19937 random(11);
    for (const std::string word : {"ksl", "skl", "lsk"}) {
        // The letter at place k in either case, or what parts the word there.
        const auto is = [&word](char b, std::size_t k) {
            return static_cast<char>(b | 0x20) == word[k];
        };
        const auto parts = [&word](char b, std::size_t k) {
            return b == '&' || b == '<' || b == WordStarts::signLead(word[k]);
        };
        for (int round = 0; round < 300; ++round) {
            std::string bytes(std::uniform_int_distribution(0, 1200)(random), ' ');
            for (char& b : bytes) {
                b = alphabet[std::uniform_int_distribution<std::size_t>(
                    0, alphabet.size() - 1)(random)];
            }
            std::vector<std::uint64_t> expected((std::max<std::size_t>(bytes.size(), 2) - 2) / 64);
            for (std::size_t i = 0; i < expected.size() * 64; ++i) {
                const char b = bytes[i];
                const char next = bytes[i + 1];
                const char after = bytes[i + 2];
                const bool start = is(b, 0) && (is(next, 1) || parts(next, 1)) &&
                                   (parts(next, 1) || is(after, 2) || parts(after, 2));
                if (start || b == '&' || b == WordStarts::signLead(word[0])) {
                    expected[i / 64] |= std::uint64_t{1} << (i % 64);
                }
            }
            for (const VectorUnit unit : vectorUnitsHere()) {
                const WordStarts starts(word, unit);
                std::vector<std::uint64_t> found;
                std::uint64_t places[WordStarts::kBlocksAtOnce];
                while (const std::size_t blocks = starts.placesFrom(
                           bytes, found.size() * WordStarts::kBlockSize, places)) {
                    found.insert(found.end(), places, places + blocks);
                }
                ASSERT_EQ(found, expected)
                    << word << " by unit " << static_cast<int>(unit) << " in " << bytes;
            }
        }
    }
}

// Everything a search told, in the order it told it.
struct Told {
    bool complete = false;
    Indexes read;
    Indexes found;
    Indexes skipped;
    std::vector<std::tuple<std::size_t, std::uint32_t, std::uint32_t>> counted;

    bool operator==(const Told&) const = default;
};

Told search(platform::FileSystem& files, const std::vector<std::string>& paths,
            const std::string& text, unsigned threads, TextRule rule = TextRule::Shown,
            std::stop_source* stop = nullptr, std::size_t stopAt = 0) {
    Told told;
    told.complete = searchFiles(
        files, paths, text, stop ? stop->get_token() : std::stop_token{},
        {.reading =
             [&](std::size_t n) {
                 told.read.push_back(n);
                 if (stop && n == stopAt) {
                     stop->request_stop();
                 }
             },
         .found = [&](std::size_t n) { told.found.push_back(n); },
         .skipped = [&](std::size_t n, const std::string&) { told.skipped.push_back(n); },
         .counted =
             [&](std::size_t n, const PageHits& hits) {
                 told.counted.emplace_back(n, hits.count, hits.firstOffset);
             }},
        rule, threads);
    return told;
}

TEST(SearchFiles, countsEveryHitAndWhereTheFirstStarts) {
    test::TempDir dir;
    test::FakeFileSystem files;
    const std::vector<std::string> paths = {
        dir.write("a.htm", "<title>Ab</title><p>x ab AB&nbsp;aB</p>"),
        dir.write("b.txt", "none"),
        dir.write("c.htm", "{\\rtf1 abab \\b ab\\b0}"),
    };
    // "ab x ab ab ab": the title, then three more; the RTF's "abab ab" holds three.
    const Told told = search(files, paths, "AB", 1);
    EXPECT_EQ(told.found, (Indexes{0, 2}));
    using Counted = decltype(told.counted);
    EXPECT_EQ(told.counted, (Counted{{0, 4, 0}, {2, 3, 0}}));
    EXPECT_EQ(search(files, paths, "x ab", 1).counted, (Counted{{0, 1, 3}}));
}

// The workers read in any order; what the observer hears must not tell.
TEST(SearchFilesThreaded, tellsWhatOneThreadTellsOnRandomTrees) {
    std::mt19937 random(18);
    const std::string pieces[] = {"set", "up",           " ",   "<b>",    "</b>",
                                  "<p>", "&amp;",        "SET", "&nbsp;", "<!-- setup -->",
                                  "\n",  "\u00e9t\u00e9"};
    for (int tree = 0; tree < 12; ++tree) {
        test::TempDir dir;
        test::FakeFileSystem files;
        std::vector<std::string> paths;
        const int pages = std::uniform_int_distribution(0, 150)(random);
        for (int i = 0; i < pages; ++i) {
            std::string bytes;
            const int length = std::uniform_int_distribution(0, 40)(random);
            for (int j = 0; j < length; ++j) {
                bytes += pieces[std::uniform_int_distribution<std::size_t>(0, 11)(random)];
            }
            const std::string name = "p" + std::to_string(i) + (i % 7 == 0 ? ".txt" : ".htm");
            switch (std::uniform_int_distribution(0, 9)(random)) {
                case 0:
                    paths.push_back(dir / name);  // gone
                    break;
                case 1:
                    paths.push_back(dir.write(name, bytes));
                    files.failingReads.insert(paths.back());
                    break;
                default:
                    paths.push_back(dir.write(name, bytes));
            }
        }
        for (const std::string text : {"setup", "set up", "SET", "&", "\u00c9T\u00c9"}) {
            const Told alone = search(files, paths, text, 1);
            EXPECT_TRUE(alone.complete);
            for (const unsigned threads : {2u, 3u, 8u}) {
                EXPECT_EQ(search(files, paths, text, threads), alone)
                    << "tree " << tree << ", " << text << ", threads " << threads;
            }
            EXPECT_EQ(search(files, paths, text, 3, TextRule::StoredBytes),
                      search(files, paths, text, 1, TextRule::StoredBytes));
        }
    }
}

TEST(SearchFilesThreaded, aStopReportsAPrefixOfTheCatalogue) {
    test::TempDir dir;
    test::FakeFileSystem files;
    std::vector<std::string> paths;
    for (int i = 0; i < 400; ++i) {
        paths.push_back(dir.write("p" + std::to_string(i) + ".htm", i % 3 ? "miss" : "hit"));
    }
    for (const std::size_t stopAt : {0u, 1u, 77u, 399u}) {
        std::stop_source stop;
        const Told told = search(files, paths, "hit", 2, TextRule::Shown, &stop, stopAt);
        EXPECT_FALSE(told.complete);
        EXPECT_EQ(told.read.size(), stopAt + 1);
        Indexes expected;
        for (std::size_t n = 0; n < stopAt; n += 3) {
            expected.push_back(n);
        }
        EXPECT_EQ(told.found, expected) << "stopped at " << stopAt;
    }
}

TEST(SearchFilesThreaded, aFaultInAWorkerReachesTheCaller) {
    test::TempDir dir;
    test::FakeFileSystem files;
    std::vector<std::string> paths;
    for (int i = 0; i < 50; ++i) {
        paths.push_back(dir.write("p" + std::to_string(i) + ".htm", "text"));
    }
    files.crashing.insert(paths[30]);
    Indexes read;
    EXPECT_THROW(searchFiles(files, paths, "text", {},
                             {.reading = [&](std::size_t n) { read.push_back(n); },
                              .found = {},
                              .skipped = {},
                              .counted = {}},
                             TextRule::Shown, 4),
                 std::logic_error);
    EXPECT_EQ(read.size(), 31u);  // told of the 30 before it, in order
}

}  // namespace
}  // namespace pelmaro
