// The search index beside the scan it narrows, warm cache, both on every core.
//
//   pelmaro-index-bench              a synthetic tree of 20,000 pages in a temporary folder, and
//                                    /usr/share/doc/python3.11/html when it is there
//   pelmaro-index-bench FOLDER...    those folders (links to folders followed: a folder of
//                                    links to one tree stands for copies of it, warm)
//   pelmaro-index-bench --build-only FOLDER
//                                    the build alone and its peak memory, then the lookups
//                                    (for a million pages, where the scans would take long)
//
// For each tree: one full scan for a missing word, one that reads every page's shown text (F11
// counting a letter every page holds), the index build (and its peak memory), the
// shown text's size beside the index's, and for a few words the time of loading the index, of
// the lookup (posting lists and one stamp a page), and of the whole search through the index
// beside the scan, with the hit counts of both, which must be equal.

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/synthetic_tree.h"
#include "index/index_builder.h"
#include "index/index_store.h"
#include "platform/file_system.h"
#include "search/full_text_search.h"
#include "search/shown_text.h"
#include "search/shown_text_search.h"

namespace {

using pelmaro::CandidatePages;
namespace index = pelmaro::index;

// The pages a catalogue of the folder would hold, roughly: markup, text and images.
std::vector<std::string> pagesUnder(const std::string& folder) {
    std::vector<std::string> pages;
    // Links to folders are followed, so that copies of a tree may be links to it.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(
             folder, std::filesystem::directory_options::follow_directory_symlink)) {
        const std::string extension = entry.path().extension().string();
        if (entry.is_regular_file() && (extension == ".html" || extension == ".htm" ||
                                        extension == ".txt" || extension == ".gif")) {
            pages.push_back(entry.path().string());
        }
    }
    return pages;
}

double seconds(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// How long a search's use of the index takes for `word`: loading the index, its posting lists
// alone, and the candidates with one stamp a page.
struct LookupTimes {
    double load = 0;
    double lists = 0;
    double lookup = 0;
    std::size_t candidates = 0;  // every page when the index can't narrow the search
};

LookupTimes timeLookup(pelmaro::platform::FileSystem& files, const std::string& pathFile,
                       const pelmaro::platform::TextList& paths, const std::string& cache,
                       const std::string& word) {
    LookupTimes times;
    std::optional<index::TrigramIndex> loaded;
    times.load = seconds([&] { loaded = index::loadIndex(files, pathFile, paths, cache); });
    const std::string folded = pelmaro::foldShownText(word);
    times.lists = seconds([&] { loaded->pagesHolding(folded); });
    std::optional<CandidatePages> candidates;
    times.lookup =
        seconds([&] { candidates = index::candidatePages(*loaded, files, paths, word); });
    times.candidates = candidates ? candidates->size() : paths.size();
    return times;
}

class CountingSink final : public pelmaro::ShownTextSink {
public:
    bool take(std::string_view piece) override {
        bytes += piece.size();
        return false;
    }
    void restart() override {}
    std::size_t bytes = 0;
};

// As pelmaro-cli searches: through the index's candidates and resume points, when given.
std::size_t hitsOf(pelmaro::platform::FileSystem& files, const pelmaro::platform::TextList& paths,
                   const std::string& word, const CandidatePages* candidates,
                   const index::TrigramIndex* index = nullptr) {
    std::size_t hits = 0;
    pelmaro::ResumePointsOf resumeOf;
    if (index != nullptr) {
        resumeOf = [index](std::size_t n, pelmaro::ResumePoints& out) {
            return index->resumePoints(n, out);
        };
    }
    pelmaro::searchFiles(files, paths, word, {},
                         {.reading = {}, .found = [&](std::size_t) { ++hits; }, .skipped = {}},
                         pelmaro::TextRule::Shown, candidates, 0, resumeOf);
    return hits;
}

void benchFolder(const std::string& folder, const std::vector<std::string>& words,
                 const std::string& scratch) {
    pelmaro::platform::PosixFileSystem files;
    const std::vector<std::string> list = pagesUnder(folder);
    const pelmaro::platform::TextList paths(list);
    const std::string pathFile = scratch + "/pelmaropath.path";
    files.writeFile(pathFile, "");

    CountingSink shown;
    pelmaro::ShownTextReader reader;
    for (const std::string& page : list) {
        reader.read(files, page, shown);
    }
    const double scan = seconds([&] { hitsOf(files, paths, "zqxjkvw missing", nullptr); });
    // The scan of a missing word skips most pages on their bytes; one that turns every page into
    // shown text, as the build must, is F11's for a letter every page holds (each hit counted).
    const double readingScan = seconds([&] {
        pelmaro::searchFiles(files, paths, "e", {},
                             {.reading = {},
                              .found = {},
                              .skipped = {},
                              .counted = [](std::size_t, const pelmaro::PageHits&) {}});
    });
    // The pages were all written long enough ago for their stamps to vouch for them, as in a
    // real tree (a synthetic one is written a moment before).
    const index::BuildOptions options{.vouchBefore = std::numeric_limits<std::int64_t>::max()};
    const std::string cache = scratch + "/cache";
    const double build =
        seconds([&] { index::storeIndex(files, pathFile, paths, cache, {}, {}, options); });
    const auto indexSize =
        std::filesystem::file_size(*index::indexFileName(files, pathFile, cache));
    std::printf("\n%s: %zu pages, shown text %.1f MB\n", folder.c_str(), list.size(),
                static_cast<double>(shown.bytes) / 1e6);
    std::printf(
        "one scan %.2f s; index build %.2f s (%.1fx); index %.2f MB (%.1f%% of the text); "
        "peak memory %ld MB\n",
        scan, build, build / scan, static_cast<double>(indexSize) / 1e6,
        100.0 * static_cast<double>(indexSize) / static_cast<double>(shown.bytes),
        pelmaro::bench::peakMegabytes());
    std::printf(
        "a scan that reads every page's shown text (F11 counting \"e\") %.2f s; "
        "index build %.1fx that\n",
        readingScan, build / readingScan);
    std::printf("%zu distinct trigrams\n",
                index::loadIndex(files, pathFile, paths, cache)->trigramCount());
    std::printf("%-22s %9s %9s %9s %9s %9s %9s %7s %7s\n", "word", "load ms", "lists ms",
                "lookup ms", "cands", "indexed s", "scan s", "hits", "scan");
    for (const std::string& word : words) {
        const LookupTimes times = timeLookup(files, pathFile, paths, cache, word);
        std::size_t indexedHits = 0;
        std::size_t scanHits = 0;
        // Once each: the pass over the shown text has warmed the cache.
        const double indexed = seconds([&] {
            const auto index = index::loadIndex(files, pathFile, paths, cache);
            const auto pages = index::candidatePages(*index, files, paths, word);
            indexedHits = hitsOf(files, paths, word, pages ? &*pages : nullptr, &*index);
        });
        const double scanned = seconds([&] { scanHits = hitsOf(files, paths, word, nullptr); });
        std::printf("%-22s %9.1f %9.1f %9.1f %9zu %9.3f %9.3f %7zu %7zu%s\n", word.c_str(),
                    times.load * 1e3, times.lists * 1e3, times.lookup * 1e3, times.candidates,
                    indexed, scanned, indexedHits, scanHits,
                    indexedHits == scanHits ? "" : "  MISMATCH");
    }
}

// The build of a large tree alone: its time, size and peak memory, then load and lookup.
void benchBuild(const std::string& folder, const std::vector<std::string>& words,
                const std::string& scratch) {
    pelmaro::platform::PosixFileSystem files;
    std::vector<std::string> list = pagesUnder(folder);
    const pelmaro::platform::TextList paths(list);
    list = {};
    const std::string pathFile = scratch + "/pelmaropath.path";
    files.writeFile(pathFile, "");
    const long before = pelmaro::bench::peakMegabytes();
    const index::BuildOptions options{.vouchBefore = std::numeric_limits<std::int64_t>::max()};
    const std::string cache = scratch + "/cache";
    const double build =
        seconds([&] { index::storeIndex(files, pathFile, paths, cache, {}, {}, options); });
    std::printf(
        "\n%s: %zu pages; build %.1f s, index %.1f MB, peak memory %ld MB (%ld MB before)\n",
        folder.c_str(), paths.size(), build,
        static_cast<double>(
            std::filesystem::file_size(*index::indexFileName(files, pathFile, cache))) /
            1e6,
        pelmaro::bench::peakMegabytes(), before);
    std::printf("%-22s %9s %9s %9s %9s\n", "word", "load ms", "lists ms", "lookup ms", "cands");
    for (const std::string& word : words) {
        const LookupTimes times = timeLookup(files, pathFile, paths, cache, word);
        std::printf("%-22s %9.1f %9.1f %9.1f %9zu\n", word.c_str(), times.load * 1e3,
                    times.lists * 1e3, times.lookup * 1e3, times.candidates);
    }
}

}  // namespace

int main(int argc, char** argv) {
    char scratchPattern[] = "/tmp/pelmaro-index-bench-XXXXXX";
    if (::mkdtemp(scratchPattern) == nullptr) {
        std::perror("mkdtemp");
        return 2;
    }
    const std::string scratch = scratchPattern;
    if (argc == 3 && std::string(argv[1]) == "--build-only") {
        benchBuild(argv[2], {"asyncio", "the", "walrus operator", "12345", "zqxjkvw"}, scratch);
    } else if (argc > 1) {
        for (int i = 1; i < argc; ++i) {
            benchFolder(argv[i], {"asyncio", "the", "string", "walrus operator", "zqxjkvw"},
                        scratch);
        }
    } else {
        const std::string python = "/usr/share/doc/python3.11/html";
        if (std::filesystem::is_directory(python)) {
            benchFolder(python, {"asyncio", "the", "walrus operator", "zqxjkvw", "été"}, scratch);
        }
        const std::string tree = scratch + "/tree";
        pelmaro::bench::makeSyntheticTree(tree, 20000);
        benchFolder(tree, {"12345", "the", "catalogue returns", "zqxjkvw"}, scratch);
    }
    std::filesystem::remove_all(scratch);
    return 0;
}
