#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <limits>
#include <random>
#include <stop_token>
#include <thread>

#include "index/index_builder.h"
#include "index/index_store.h"
#include "index/trigram_index.h"
#include "platform/error.h"
#include "search/full_text_search.h"
#include "search/shown_text_search.h"
#include "tests/support/resume_points.h"
#include "tests/support/temp_dir.h"

namespace pelmaro::index {
namespace {

// Every page that is read at all is vouched for: the tests' pages were all written a moment ago.
const BuildOptions kVouchAll{.vouchBefore = std::numeric_limits<std::int64_t>::max()};

struct Answer {
    std::vector<std::size_t> found;
    std::vector<std::size_t> skipped;
    std::vector<std::size_t> read;
    bool operator==(const Answer& other) const {
        return found == other.found && skipped == other.skipped;
    }
};

Answer search(platform::FileSystem& files, const std::vector<std::string>& paths,
              const std::string& text, const CandidatePages* candidates,
              const ResumePointsOf& resumeOf = {}) {
    Answer answer;
    searchFiles(
        files, paths, text, {},
        {.reading = [&](std::size_t n) { answer.read.push_back(n); },
         .found = [&](std::size_t n) { answer.found.push_back(n); },
         .skipped = [&](std::size_t n, const std::string&) { answer.skipped.push_back(n); }},
        TextRule::Shown, candidates, 0, resumeOf);
    return answer;
}

// The search as pelmaro-cli makes it: through the stored index and its resume points when there
// is one to trust.
Answer searchThroughIndex(platform::FileSystem& files, const std::string& pathFile,
                          const std::vector<std::string>& paths, const std::string& cache,
                          const std::string& text, const ReindexedPages* reindexed = nullptr) {
    const auto index = loadIndex(files, pathFile, paths, cache);
    std::optional<CandidatePages> candidates;
    if (index) {
        candidates = candidatePages(*index, files, paths, text, nullptr, nullptr, reindexed);
    }
    return search(files, paths, text, candidates ? &*candidates : nullptr,
                  [&index](std::size_t n, ResumePoints& out) {
                      return index && index->resumePoints(n, out);
                  });
}

std::string indexBytes(platform::FileSystem& files, const std::vector<std::string>& paths,
                       const BuildOptions& options = kVouchAll) {
    return *buildIndex(files, paths, identify("/x/pelmaropath.path", paths), {}, {}, options);
}

// Gives a file a modification time of its own, as an edit would.
void setModified(const std::string& name, std::time_t seconds) {
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, name.c_str(), times, 0), 0);
}

TEST(TrigramIndex, findsPagesHoldingEveryTrigramOfTheFoldedText) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    const std::vector<std::string> paths = {
        dir.write("a.htm", "<title>Caf&eacute;</title><p>Chapter&nbsp;9</p>"),
        dir.write("b.txt", "CHAPTER\n9 and more"),
        dir.write("c.htm", "<p>chap<b>ter</b> nine</p><script>chapter 9</script>"),
        dir.write("logo-chapter.gif", "GIF89a chapter 9"),
    };
    const auto index = TrigramIndex::parse(indexBytes(files, paths));
    ASSERT_TRUE(index);
    EXPECT_EQ(index->pagesHolding("chapter 9"), (CandidatePages{0, 1}));
    EXPECT_EQ(index->pagesHolding("café"), (CandidatePages{0}));
    EXPECT_EQ(index->pagesHolding("chapter"), (CandidatePages{0, 1, 2, 3}));
    EXPECT_EQ(index->pagesHolding("script"), (CandidatePages{}));
    EXPECT_EQ(index->pagesHolding("zz"), (CandidatePages{0, 1, 2, 3}));
}

// Those of markup in UTF-8 or windows-1252 that was read whole and vouched for.
TEST(TrigramIndex, keepsTheResumePointsOfEachVouchedPageOfMarkup) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    std::string page;
    for (int i = 0; i < 300; ++i) {
        page += "<p>Some <b>text</b></p>\n";
    }
    const std::vector<std::string> paths = {
        dir.write("a.htm", page), dir.write("b.htm", "<p>caf\xe9</p>" + page),
        dir.write("c.txt", page), dir.write("gone.htm", page),
        dir.write("d.htm", "<meta charset=\"iso-8859-2\">" + page)};
    std::remove(paths[3].c_str());
    const auto index = TrigramIndex::parse(indexBytes(files, paths));
    ASSERT_TRUE(index);
    for (const std::size_t n : {0, 1}) {
        const ResumePoints noted = test::notedResumePoints(test::readFile(paths[n]));
        ResumePoints kept;
        ASSERT_TRUE(index->resumePoints(n, kept)) << n;
        EXPECT_GT(kept.offsets.size(), 2U);
        EXPECT_EQ(kept.offsets, noted.offsets);
        EXPECT_EQ(kept.encoding, noted.encoding);
        EXPECT_EQ(kept.stamp, files.fileStamp(paths[n]));
    }
    ResumePoints none;
    for (const std::size_t n : {2, 3, 4, 5}) {
        EXPECT_FALSE(index->resumePoints(n, none)) << n;
    }
}

// They are checked when first asked for, not when the index loads: damaged, none are given.
TEST(TrigramIndex, damagedResumePointsAreNotUsed) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    std::string page;
    for (int i = 0; i < 3000; ++i) {
        page += "<p>Some <b>text</b> n</p>\n";
    }
    std::vector<std::string> paths;
    for (int n = 0; n < 120; ++n) {
        paths.push_back(dir.write("p" + std::to_string(n) + ".htm", page));
    }
    std::string bytes = indexBytes(files, paths);
    std::uint64_t postingsAt = 0;
    std::memcpy(&postingsAt, bytes.data() + bytes.size() - kIndexFooterSize, sizeof postingsAt);
    ResumePoints points;
    ASSERT_TRUE(TrigramIndex::parse(bytes)->resumePoints(119, points));
    // The header, identity (under 64 bytes), records and order end in the second block; the
    // resume points fill the third.
    ASSERT_LT(64 + 120 * (kIndexRecordSize + kIndexOrderEntrySize), 2 * kIndexBlockSize);
    ASSERT_GT(postingsAt, 3 * kIndexBlockSize);
    bytes[2 * kIndexBlockSize] = static_cast<char>(bytes[2 * kIndexBlockSize] ^ 0x10);
    const auto damaged = TrigramIndex::parse(bytes);
    ASSERT_TRUE(damaged);
    for (std::size_t n = 0; n < paths.size(); ++n) {
        EXPECT_FALSE(damaged->resumePoints(n, points)) << n;
    }
    EXPECT_EQ(damaged->pagesHolding("text")->size(), paths.size());
}

TEST(TrigramIndex, tornDamagedOrForeignFileIsNeverTrusted) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    const std::vector<std::string> paths = {dir.write("a.htm", "<p>alpha beta</p>"),
                                            dir.write("b.htm", "<p>gamma delta</p>")};
    const std::string bytes = indexBytes(files, paths);
    ASSERT_TRUE(TrigramIndex::parse(bytes));
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        EXPECT_FALSE(TrigramIndex::parse(bytes.substr(0, size))) << "cut at " << size;
    }
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        std::string damaged = bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x10);
        EXPECT_FALSE(TrigramIndex::parse(damaged)) << "byte " << at;
    }
    EXPECT_FALSE(TrigramIndex::parse(bytes + "x"));
}

// The posting lists' offsets in the file (the footer's first two fields): [from, to).
std::pair<std::size_t, std::size_t> postingsRegion(const std::string& bytes) {
    const auto field = [&](std::size_t at) {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < 8; ++i) {
            value |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[at + i]))
                     << (8 * i);
        }
        return static_cast<std::size_t>(value);
    };
    const std::size_t footer = bytes.size() - kIndexFooterSize;
    return {field(footer), field(footer + 8)};
}

// A file whose hashes all hold (a foreign one, or one a faulty build wrote) but whose stamp order
// leaves a page out is not trusted: that page's stamp would never be looked at.
TEST(TrigramIndex, stampOrderThatLeavesAPageOutIsNeverTrusted) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    dir.mkdir("f");
    const std::vector<std::string> paths = {dir.write("a.htm", "<p>alpha</p>"),
                                            dir.write("f/b.htm", "<p>beta</p>")};
    const std::string bytes = indexBytes(files, paths);
    const auto field = [](const std::string& file, std::size_t at) {
        std::uint64_t value = 0;
        std::memcpy(&value, file.data() + at, sizeof value);
        return static_cast<std::size_t>(value);
    };
    const std::size_t footer = bytes.size() - kIndexFooterSize;
    const std::size_t hashesAt = field(bytes, footer + 16);
    // The file with its block hashes and its footer's hash made anew.
    const auto resealed = [&](std::string file) {
        std::string hashes;
        for (std::size_t at = 0, block = 0; at < hashesAt; at += kIndexBlockSize, ++block) {
            putU32(hashes, blockHash(std::string_view(file).substr(
                                         at, std::min(kIndexBlockSize, hashesAt - at)),
                                     block));
        }
        file.replace(hashesAt, hashes.size(), hashes);
        std::string checksum;
        putU64(checksum, hashBytes(std::string_view(file).substr(
                             hashesAt, file.size() - sizeof(std::uint64_t) - hashesAt)));
        file.replace(file.size() - checksum.size(), checksum.size(), checksum);
        return file;
    };
    ASSERT_EQ(resealed(bytes), bytes);
    // The order is the two page numbers after the header, the identity and the records: page 0
    // twice.
    std::string twice = bytes;
    const std::size_t orderAt = kIndexMagic.size() + 2 * sizeof(std::uint32_t) +
                                sizeof(std::uint32_t) + std::string("/x/pelmaropath.path").size() +
                                sizeof(std::uint64_t) + sizeof(std::uint32_t) +
                                2 * kIndexRecordSize;
    twice.replace(orderAt + sizeof(std::uint32_t), sizeof(std::uint32_t),
                  std::string(sizeof(std::uint32_t), '\0'));
    EXPECT_FALSE(TrigramIndex::parse(resealed(twice)));
}

TEST(TrigramIndex, damagedPostingListFailsTheLookupsThatReadItAndNoOther) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    std::vector<std::string> paths;
    std::mt19937 random(11);
    for (int n = 0; n < 200; ++n) {
        // Alphabets of 2 to 7 letters: trigrams of every page, of some, of a few.
        std::string text;
        for (int i = 0; i < 300; ++i) {
            text.push_back(static_cast<char>('a' + random() % (2 + n % 6)));
        }
        paths.push_back(dir.write("p" + std::to_string(n) + ".txt", text));
    }
    const std::string bytes = indexBytes(files, paths);
    std::vector<std::string> trigrams;
    for (char a = 'a'; a <= 'g'; ++a) {
        for (char b = 'a'; b <= 'g'; ++b) {
            for (char c = 'a'; c <= 'g'; ++c) {
                trigrams.push_back({a, b, c});
            }
        }
    }
    const auto whole = TrigramIndex::parse(bytes);
    ASSERT_TRUE(whole);
    std::vector<CandidatePages> truth;
    for (const std::string& trigram : trigrams) {
        truth.push_back(*whole->pagesHolding(trigram));
    }
    const auto [from, to] = postingsRegion(bytes);
    ASSERT_GT(to - from, 2 * kIndexBlockSize);
    std::size_t loaded = 0;
    std::size_t failed = 0;
    for (std::size_t at = from; at < to; at += 11) {
        std::string damaged = bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x04);
        const auto index = TrigramIndex::parse(damaged);
        if (!index) {
            continue;  // a block shared with a part checked at load
        }
        ++loaded;
        for (std::size_t t = 0; t < trigrams.size(); ++t) {
            const auto holding = index->pagesHolding(trigrams[t]);
            if (!holding) {
                ++failed;
            } else {
                EXPECT_EQ(*holding, truth[t]) << "byte " << at << " trigram " << trigrams[t];
            }
        }
    }
    EXPECT_GT(loaded, 0U);
    EXPECT_GT(failed, 0U);
}

// Posting lists of every shape (a few pages, a bitmap, all pages but a few), each asked alone and
// beside each other, on one index from several threads at once.
TEST(TrigramIndex, postingListsOfEveryShapeGiveTheirPagesOnEveryThread) {
    constexpr std::uint32_t kPages = 300;
    struct Case {
        const char* name;
        std::function<bool(std::uint32_t)> holds;
        PostingKind kind;
    };
    const std::vector<Case> cases = {
        {"first page", [](std::uint32_t n) { return n == 0; }, PostingKind::Gaps},
        {"last page", [](std::uint32_t n) { return n == kPages - 1; }, PostingKind::Gaps},
        {"every 9th", [](std::uint32_t n) { return n % 9 == 8; }, PostingKind::Gaps},
        {"every 7th", [](std::uint32_t n) { return n % 7 == 0; }, PostingKind::Bitmap},
        {"a byte's run", [](std::uint32_t n) { return n >= 8 && n < 24; }, PostingKind::Bitmap},
        {"to the last", [](std::uint32_t n) { return n > 150; }, PostingKind::Bitmap},
        {"all", [](std::uint32_t) { return true; }, PostingKind::AllBut},
        {"all but the ends", [](std::uint32_t n) { return n != 0 && n != kPages - 1; },
         PostingKind::AllBut},
        {"all but every 10th", [](std::uint32_t n) { return n % 10 != 3; }, PostingKind::AllBut},
    };
    // Page n reads "k10; k11: ... end": a semicolon after the cases it is in.
    test::TempDir dir;
    platform::PosixFileSystem files;
    std::vector<std::string> texts;
    std::vector<std::string> paths;
    for (std::uint32_t n = 0; n < kPages; ++n) {
        std::string text;
        for (std::size_t c = 0; c < cases.size(); ++c) {
            text += "k" + std::to_string(10 + c) + (cases[c].holds(n) ? "; " : ": ");
        }
        text += "end";  // the shown text ends with no blank
        texts.push_back(text);
        paths.push_back(dir.write("p" + std::to_string(n) + ".txt", text));
    }
    const auto index = TrigramIndex::parse(indexBytes(files, paths));
    ASSERT_TRUE(index);
    const auto holding = [&](const std::string& folded) {
        CandidatePages pages;
        for (std::uint32_t n = 0; n < kPages; ++n) {
            bool all = true;
            for (std::size_t at = 0; at + 3 <= folded.size(); ++at) {
                all = all && texts[n].find(folded.substr(at, 3)) != std::string::npos;
            }
            if (all) {
                pages.push_back(n);
            }
        }
        return pages;
    };
    const auto check = [&] {
        for (std::size_t c = 0; c < cases.size(); ++c) {
            const std::string word = "k" + std::to_string(10 + c) + ";";
            const CandidatePages pages = holding(word);
            EXPECT_EQ(encodePostings(holding(word.substr(1)), kPages)[0],
                      static_cast<char>(cases[c].kind))
                << cases[c].name;
            EXPECT_EQ(index->pagesHolding(word), pages) << cases[c].name;
            for (std::size_t other = 0; other < cases.size(); ++other) {
                const std::string both = word + " k" + std::to_string(10 + other) + ";";
                EXPECT_EQ(index->pagesHolding(both), holding(both)) << both;
            }
        }
    };
    std::vector<std::jthread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back(check);
    }
}

TEST(BuildIndex, spillingRunsToDiskGivesTheSameIndex) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    std::vector<std::string> paths;
    std::mt19937 random(7);
    for (int n = 0; n < 60; ++n) {
        std::string text;
        for (int i = 0; i < 400; ++i) {
            text.push_back(static_cast<char>('a' + random() % 26));
        }
        paths.push_back(dir.write("p" + std::to_string(n) + ".txt", text));
    }
    BuildOptions tight = kVouchAll;
    tight.memoryBudget = 1;  // a run for every couple of pages
    EXPECT_EQ(indexBytes(files, paths, tight), indexBytes(files, paths));
}

TEST(BuildIndex, pagesWrittenJustBeforeTheirReadAreReadAgainOnceTheirStampsCanTell) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    BuildOptions windowed;
    windowed.tooRecent = std::chrono::seconds(1);
    windowed.memoryBudget = 1;  // runs of a page or two, the pages read again among them
    std::mt19937 random(11);
    std::vector<std::string> paths(160);
    const auto write = [&](std::size_t n) {
        std::string text;
        for (int i = 0; i < 300; ++i) {
            text.push_back(static_cast<char>('a' + random() % 26));
        }
        paths[n] = dir.write("p" + std::to_string(n) + ".txt", text);
    };
    for (std::size_t n = 0; n < paths.size(); n += 2) {
        write(n);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    for (std::size_t n = 1; n < paths.size(); n += 2) {
        write(n);  // read a moment after: too recent then
    }
    const std::string built = indexBytes(files, paths, windowed);
    EXPECT_EQ(built, indexBytes(files, paths)) << "every page vouched for, as if written long ago";

    // A page modified an hour ahead (unpacked from an archive made in a later time zone) is
    // vouched for once its change time is old enough; a page that can't be read, never.
    const std::vector<std::string> others = {dir.write("ahead.htm", "<p>ahead page</p>"),
                                             dir / "gone.htm"};
    setModified(others[0], std::time(nullptr) + 3600);
    const auto index = TrigramIndex::parse(indexBytes(files, others, windowed));
    ASSERT_TRUE(index);
    EXPECT_TRUE(index->pages()[0].vouched);
    EXPECT_FALSE(index->pages()[1].vouched);
    EXPECT_EQ(candidatePages(*index, files, others, "page"), (CandidatePages{0, 1}));
    EXPECT_EQ(candidatePages(*index, files, others, "gone"), (CandidatePages{1}));

    // A fixed time vouches for nothing after it, ever.
    BuildOptions fixed;
    fixed.vouchBefore = 0;
    const auto none = TrigramIndex::parse(indexBytes(files, paths, fixed));
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->pages()[0].vouched);
}

TEST(BuildIndex, stopsWhenAsked) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    const std::vector<std::string> paths = {dir.write("a.htm", "a"), dir.write("b.htm", "b")};
    std::stop_source stop;
    stop.request_stop();
    EXPECT_FALSE(buildIndex(files, paths, identify("/x.path", paths), stop.get_token()));
}

// The tree of the differential test: pages of a few words from a small alphabet, so that short
// texts hit often and long ones sometimes.
class RandomTree {
public:
    RandomTree(const test::TempDir& dir, std::uint32_t seed) : dir_(dir), random_(seed) {}

    std::string text(std::size_t words) {
        static const char* const kPieces[] = {
            "a",           "b",       "ab",       "aa",   "aaa",  "é",   "É",     "ß",
            " ",           "\n",      "&nbsp;",   "<b>",  "</b>", "<p>", "&amp;", "x<y",
            "caf&eacute;", "Chapter", "<!--c-->", "\xe9", "-",    "ΣΑΣ", "9"};
        std::string out;
        for (std::size_t i = 0; i < words; ++i) {
            out += kPieces[random_() % std::size(kPieces)];
        }
        return out;
    }
    std::string searchText() {
        static const char* const kTexts[] = {"a",   "aa",        "aaa", "aaaa", "ab",  " a",
                                             "a b", "é",         "ÉÉ",  "café", "x<y", "ss",
                                             "σας", "chapter 9", "a&b", "  ",   "b a", "ßa"};
        return random_() % 3 == 0 ? text(1 + random_() % 3) : kTexts[random_() % std::size(kTexts)];
    }
    std::string page(std::size_t n) {
        static const char* const kTypes[] = {".htm", ".txt", ".html", ".gif"};
        const std::string name = "p" + std::to_string(n) + "-" + text(1) + kTypes[random_() % 4];
        std::string folderless;
        for (const char c : name) {
            folderless.push_back(c == '/' || c == '\n' || c == '\0' ? '_' : c);
        }
        return dir_.write("tree/" + folderless, text(random_() % 12));
    }
    std::mt19937& random() { return random_; }

private:
    const test::TempDir& dir_;
    std::mt19937 random_;
};

// With the pages edited since read again now and then (so that some were edited again after),
// as a window keeps them beside its index, too.
TEST(IndexedSearch, listsExactlyWhatTheScanListsAfterRandomEdits) {
    std::size_t readThroughIndex = 0;
    std::size_t readWithReindexed = 0;
    std::size_t readByScan = 0;
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        test::TempDir dir;
        platform::PosixFileSystem files;
        RandomTree tree(dir, seed);
        std::vector<std::string> paths;
        for (std::size_t n = 0; n < 40; ++n) {
            paths.push_back(tree.page(n));
        }
        const std::string pathFile = dir.write("pelmaropath.path", "");
        const std::string cache = dir / "cache";
        ASSERT_TRUE(storeIndex(files, pathFile, paths, cache, {}, {}, kVouchAll));
        std::time_t clock = 1000000;
        ReindexedPages reindexed;
        std::vector<std::uint32_t> edited;
        for (int round = 0; round < 6; ++round) {
            if (round % 2 == 1) {
                ASSERT_TRUE(reindexPages(files, paths, edited, reindexed, {}, kVouchAll));
            }
            for (int probe = 0; probe < 25; ++probe) {
                const std::string text = tree.searchText();
                const Answer indexed = searchThroughIndex(files, pathFile, paths, cache, text);
                const Answer withReindexed =
                    searchThroughIndex(files, pathFile, paths, cache, text, &reindexed);
                const Answer scanned = search(files, paths, text, nullptr);
                EXPECT_EQ(indexed, scanned)
                    << "seed " << seed << " round " << round << " text \"" << text << '"';
                EXPECT_EQ(withReindexed, scanned)
                    << "seed " << seed << " round " << round << " text \"" << text << '"';
                readThroughIndex += indexed.read.size();
                readWithReindexed += withReindexed.read.size();
                readByScan += scanned.read.size();
            }
            // Edits: new content with a time of its own, a page removed, a page recreated with
            // the same size and time as before (a new inode).
            auto& random = tree.random();
            for (int edit = 0; edit < 4; ++edit) {
                edited.push_back(static_cast<std::uint32_t>(random() % paths.size()));
                const std::string& page = paths[edited.back()];
                switch (random() % 3) {
                    case 0:
                        dir.write(page.substr(dir.path().size() + 1), tree.text(random() % 12));
                        setModified(page, ++clock);
                        break;
                    case 1:
                        std::remove(page.c_str());
                        break;
                    default: {
                        struct stat before {};
                        if (::stat(page.c_str(), &before) != 0) {
                            break;
                        }
                        std::string replaced = test::readFile(page);
                        for (char& c : replaced) {
                            c = c == 'a' ? 'b' : c == 'b' ? 'a' : c;
                        }
                        const std::string other = dir.write("swap.tmp", replaced);
                        const struct timespec times[2] = {before.st_mtim, before.st_mtim};
                        ::utimensat(AT_FDCWD, other.c_str(), times, 0);
                        std::filesystem::rename(other, page);
                    }
                }
            }
        }
    }
    // The index did narrow the reading, and so did the pages read again, or the comparison
    // proved little.
    EXPECT_LT(readThroughIndex, readByScan / 2);
    EXPECT_LT(readWithReindexed, readThroughIndex);
}

TEST(IndexedSearch, readsOnlyCandidatesAndWhatChangedSinceIndexing) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    const std::vector<std::string> paths = {
        dir.write("a.htm", "<p>needle</p>"), dir.write("b.htm", "<p>hay</p>"),
        dir.write("c.htm", "<p>hay</p>"), dir.write("d.htm", "<p>hay</p>"),
        dir.write("e.htm", "<p>hay</p>")};
    const std::string pathFile = dir.write("pelmaropath.path", "");
    const std::string cache = dir / "cache";
    ASSERT_TRUE(storeIndex(files, pathFile, paths, cache, {}, {}, kVouchAll));
    EXPECT_EQ(searchThroughIndex(files, pathFile, paths, cache, "Needle").read,
              (std::vector<std::size_t>{0}));
    // Most pages hold "hay": every page is read, and no stamp is looked at for it.
    const std::optional<TrigramIndex> index = loadIndex(files, pathFile, paths, cache);
    ASSERT_TRUE(index);
    EXPECT_FALSE(candidatePages(*index, files, paths, "hay"));

    // Changed with a new time; recreated with the same size and time (another inode); made
    // unreadable (only its ctime moves); removed.
    dir.write("b.htm", "<p>needle</p>");
    setModified(paths[1], 2000000);
    struct stat before {};
    ASSERT_EQ(::stat(paths[2].c_str(), &before), 0);
    const std::string swap = dir.write("swap.tmp", "<p>NEEDLE</p>");
    const struct timespec times[2] = {before.st_mtim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, swap.c_str(), times, 0), 0);
    std::filesystem::rename(swap, paths[2]);
    ::chmod(paths[3].c_str(), 0);
    std::remove(paths[4].c_str());
    const Answer answer = searchThroughIndex(files, pathFile, paths, cache, "needle");
    EXPECT_EQ(answer.read, (std::vector<std::size_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(answer, search(files, paths, "needle", nullptr));
    EXPECT_EQ(answer.found, (std::vector<std::size_t>{0, 1, 2}));
}

// The stamps are read in a folder held open when the catalogue keeps each folder's pages together,
// by whole paths when it scatters them (as titles do).
TEST(IndexedSearch, stampsCheckedOnSeveralThreadsMissNoChangedPage) {
    for (const bool scattered : {false, true}) {
        test::TempDir dir;
        platform::PosixFileSystem files;
        std::vector<std::string> paths;
        constexpr int kPages = 2500;
        constexpr int kFolders = 40;
        for (int n = 0; n < kPages; ++n) {
            const int folder = scattered ? n % kFolders : n * kFolders / kPages;
            dir.mkdir("f" + std::to_string(folder));
            paths.push_back(
                dir.write("f" + std::to_string(folder) + "/p" + std::to_string(n) + ".txt", "hay"));
        }
        const std::string pathFile = dir.write("pelmaropath.path", "");
        const std::string cache = dir / "cache";
        ASSERT_TRUE(storeIndex(files, pathFile, paths, cache, {}, {}, kVouchAll));
        const std::vector<std::size_t> changed = {0, 39, 40, 1023, 1024, 1249, 1250, 2047, 2499};
        for (const std::size_t n : changed) {
            std::ofstream(paths[n], std::ios::trunc) << "needle";
            setModified(paths[n], 3000000);
        }
        const Answer answer = searchThroughIndex(files, pathFile, paths, cache, "needle");
        EXPECT_EQ(answer.read, changed) << "scattered " << scattered;
        EXPECT_EQ(answer.found, changed) << "scattered " << scattered;

        // A watch's list of the pages to look at, nearly all of them (as in a tree of hard
        // links), is looked at on threads too; a page left out of it is the watch's to vouch for.
        const std::optional<TrigramIndex> index = loadIndex(files, pathFile, paths, cache);
        ASSERT_TRUE(index);
        std::vector<std::uint32_t> looked;
        for (std::uint32_t n = 0; n < kPages; ++n) {
            if (n != 40) {
                looked.push_back(n);
            }
        }
        const std::optional<CandidatePages> candidates =
            candidatePages(*index, files, paths, "needle", nullptr, &looked);
        ASSERT_TRUE(candidates);
        std::vector<std::size_t> seen = changed;
        std::erase(seen, 40);
        EXPECT_EQ(std::vector<std::size_t>(candidates->begin(), candidates->end()), seen)
            << "scattered " << scattered;
    }
}

// A catalogue of two pages, one holding "needle", and a cache folder for its index.
class IndexStore : public ::testing::Test {
protected:
    test::TempDir dir;
    platform::PosixFileSystem files;
    const std::vector<std::string> paths = {dir.write("a.htm", "<p>needle</p>"),
                                            dir.write("b.htm", "<p>hay</p>")};
    const std::string pathFile = dir.write("pelmaropath.path", "");
    const std::string cache = dir / "cache";
};

TEST_F(IndexStore, damagedOrForeignIndexFileFallsBackToTheScan) {
    ASSERT_TRUE(storeIndex(files, pathFile, paths, cache, {}, {}, kVouchAll));
    const std::string name = *indexFileName(files, pathFile, cache);
    ASSERT_TRUE(loadIndex(files, pathFile, paths, cache));

    // Another build of the catalogue (pages added) is another identity.
    const std::vector<std::string> more = {paths[0], paths[1], dir.write("c.htm", "needle")};
    EXPECT_FALSE(loadIndex(files, pathFile, more, cache));
    EXPECT_EQ(searchThroughIndex(files, pathFile, more, cache, "needle").found,
              (std::vector<std::size_t>{0, 2}));

    const std::string whole = test::readFile(name);
    // The last byte changed, whatever it was (a '?' written over it may be what stood there).
    std::string lastChanged = whole;
    lastChanged.back() = static_cast<char>(lastChanged.back() ^ 0x5A);
    for (const std::string& damaged :
         {whole.substr(0, whole.size() / 2), lastChanged, std::string("not an index")}) {
        dir.write(name.substr(dir.path().size() + 1), damaged);
        EXPECT_FALSE(loadIndex(files, pathFile, paths, cache));
        EXPECT_EQ(searchThroughIndex(files, pathFile, paths, cache, "needle").read,
                  (std::vector<std::size_t>{0, 1}));
    }
    // Another catalogue's index, gone since, and a stray file go with the next build.
    const std::string other = dir.write("other/pelmaropath.path", "");
    ASSERT_TRUE(storeIndex(files, other, paths, cache, {}, {}, kVouchAll));
    const std::string otherIndex = *indexFileName(files, other, cache);
    const std::string stray = dir.write("cache/pelmaro.trigrams", "stray");
    std::remove(other.c_str());
    // A kill while writing leaves a temporary, never a torn index; the next build clears it.
    const std::string killed =
        platform::childName(cache, "." + name.substr(cache.size() + 1) + ".Ab3dE6gH.tmp");
    dir.write(killed.substr(dir.path().size() + 1), whole.substr(0, 10));
    ASSERT_EQ(files.temporariesOf(name), std::vector<std::string>{killed});
    ASSERT_TRUE(storeIndex(files, pathFile, paths, cache, {}, {}, kVouchAll));
    EXPECT_TRUE(loadIndex(files, pathFile, paths, cache));
    EXPECT_FALSE(std::filesystem::exists(otherIndex));
    EXPECT_FALSE(std::filesystem::exists(stray));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(cache),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(IndexStore, buildStoppedHalfwayKeepsTheOldIndexAndLeavesNoTemporary) {
    ASSERT_TRUE(storeIndex(files, pathFile, paths, cache, {}, {}, kVouchAll));
    const std::string name = *indexFileName(files, pathFile, cache);
    std::stop_source stop;
    EXPECT_FALSE(storeIndex(files, pathFile, paths, cache, stop.get_token(),
                            {.reading =
                                 [&](std::size_t n) {
                                     if (n == 1) {
                                         stop.request_stop();
                                     }
                                 },
                             .waiting = {}},
                            kVouchAll));
    EXPECT_TRUE(files.temporariesOf(name).empty());
    EXPECT_EQ(searchThroughIndex(files, pathFile, paths, cache, "needle").read,
              (std::vector<std::size_t>{0}));
}

// A window's build waits while another program stores an index in the cache: it stops when
// asked, and takes over an index of its catalogue that the other left, reading no page.
TEST_F(IndexStore, aBuildWaitsItsTurn_stopsWhenAsked_andTakesOverTheIndexAnotherLeft) {
    files.makeFolders(cache);
    BuildOptions options = kVouchAll;
    options.waitTurn = true;
    std::atomic<bool> waiting = false;
    std::atomic<std::size_t> pagesRead = 0;
    BuildObserver observer;
    observer.waiting = [&] { waiting = true; };
    observer.reading = [&](std::size_t) { ++pagesRead; };
    const auto startWaiting = [&](std::stop_token stop) {
        waiting = false;
        auto stored = std::async(std::launch::async, [&, stop] {
            return storeIndex(files, pathFile, paths, cache, stop, observer, options);
        });
        for (int i = 0; i < 500 && !waiting; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return stored;
    };

    std::unique_ptr<platform::FolderLock> other = files.lockFolder(cache);
    std::stop_source stop;
    auto stopped = startWaiting(stop.get_token());
    ASSERT_TRUE(waiting);
    stop.request_stop();
    EXPECT_FALSE(stopped.get());

    auto stored = startWaiting({});
    ASSERT_TRUE(waiting);
    const std::optional<std::string> othersIndex =
        buildIndex(files, paths, identify(*files.realPath(pathFile), paths), {}, {}, kVouchAll);
    files.writeFile(*indexFileName(files, pathFile, cache), *othersIndex);
    other.reset();
    EXPECT_TRUE(stored.get());
    EXPECT_EQ(pagesRead, 0U);
    EXPECT_EQ(searchThroughIndex(files, pathFile, paths, cache, "needle").read,
              (std::vector<std::size_t>{0}));
}

}  // namespace
}  // namespace pelmaro::index
