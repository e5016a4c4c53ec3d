// Full-text search speed beside ripgrep and GNU grep on the same files, warm cache.
//
//   pelmaro-search-bench                 a synthetic tree of 100,000 pages in a temporary folder,
//                                        and /usr/share/doc/python3.11/html when it is there
//   pelmaro-search-bench FOLDER [WORD..] that folder, with the given words
//
// It also times the title search over 200,000 titles.
//
// Every regular file under the folder is a catalogue entry, so all three tools read the same
// files. Each command runs once to warm the cache, then three times; the best time counts.

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/synthetic_tree.h"
#include "platform/file_system.h"
#include "platform/list_control.h"
#include "search/full_text_search.h"
#include "search/title_search.h"

namespace {

std::vector<std::string> regularFilesUnder(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path().string());
        }
    }
    return files;
}

// Runs a command with its output in `outName`; returns its output's line count.
std::size_t runTool(const std::vector<std::string>& args, const std::string& outName) {
    if (!pelmaro::bench::runCommand(args, outName)) {
        std::fprintf(stderr, "cannot run %s\n", args.front().c_str());
        std::exit(2);
    }
    return pelmaro::bench::countLines(outName);
}

void benchFolder(const std::string& folder, const std::vector<std::string>& words,
                 const std::string& scratch) {
    const std::vector<std::string> files = regularFilesUnder(folder);
    std::uintmax_t bytes = 0;
    for (const std::string& file : files) {
        bytes += std::filesystem::file_size(file);
    }
    std::printf("\n%s: %zu files, %.1f MB\n", folder.c_str(), files.size(), bytes / 1e6);
    std::printf("%-16s %10s %8s %10s %8s %10s %8s %8s\n", "word", "pelmaro s", "hits", "rg -j1 s",
                "hits", "grep s", "hits", "ours/rg");
    const std::string outName = scratch + "/tool.out";
    for (const std::string& word : words) {
        pelmaro::platform::PosixFileSystem fileSystem;
        std::size_t ours = 0;
        const double oursSeconds = pelmaro::bench::bestSeconds([&] {
            // The loop the window's search runs, over every file of the tree.
            ours = 0;
            pelmaro::searchFiles(
                fileSystem, files, word, {},
                {.reading = {}, .found = [&](std::size_t) { ++ours; }, .skipped = {}});
        });
        std::size_t rgHits = 0;
        const double rgSeconds = pelmaro::bench::bestSeconds([&] {
            rgHits = runTool({"rg", "-j1", "-i", "-F", "-l", word, folder}, outName);
        });
        std::size_t grepHits = 0;
        const double grepSeconds = pelmaro::bench::bestSeconds([&] {
            grepHits = runTool({"grep", "-rliF", word, folder}, outName);
        });
        std::printf("%-16s %10.3f %8zu %10.3f %8zu %10.3f %8zu %8.2f\n", word.c_str(), oursSeconds,
                    ours, rgSeconds, rgHits, grepSeconds, grepHits, oursSeconds / rgSeconds);
    }
}

// Search (F3) over a large title list: one pass from the top to a title near the end, and one
// that finds nothing.
void benchTitleSearch() {
    std::vector<std::string> items;
    for (int n = 0; n < 200000; ++n) {
        items.push_back("Reference of the library function number " + std::to_string(n));
    }
    items.back() = "Getting started with Pelmaro";
    std::printf("\nTitle search over %zu titles, best of 3:\n", items.size());
    for (const std::string word : {"GETTING STARTED", "zyzzyva"}) {
        std::size_t selected = 0;
        const double seconds = pelmaro::bench::bestSeconds([&] {
            const std::vector<int> found = pelmaro::findTitles(items, word);
            selected = found.empty() ? 0 : static_cast<std::size_t>(found.front() + 1);
        });
        std::printf("%-16s %8.2f ms  (stopped at entry %zu, 0 for none)\n", word.c_str(),
                    seconds * 1e3, selected);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && !std::filesystem::is_directory(argv[1])) {
        std::fprintf(stderr, "usage: pelmaro-search-bench [FOLDER [WORD...]]\n");
        return 2;
    }
    char scratchPattern[] = "/tmp/pelmaro-search-bench-XXXXXX";
    if (::mkdtemp(scratchPattern) == nullptr) {
        std::perror("mkdtemp");
        return 2;
    }
    const std::string scratch = scratchPattern;
    std::printf(
        "Full-text search, best of 3 after a warm-up run; hits are files reported.\n"
        "Ours also finds words split by a line break, so its hits may be more.\n");
    benchTitleSearch();
    if (argc > 1) {
        const std::vector<std::string> words(argv + 2, argv + argc);
        benchFolder(argv[1], words.empty() ? std::vector<std::string>{"Setup"} : words, scratch);
    } else {
        const std::string tree = scratch + "/tree";
        std::printf("writing 100,000 synthetic pages...\n");
        pelmaro::bench::makeSyntheticTree(tree, 100000);
        // "page4242.html" is the link in one page; "Setup" is in nearly every page.
        benchFolder(tree, {"page4242.html", "zyzzyva", "Setup"}, scratch);
        const std::string docs = "/usr/share/doc/python3.11/html";
        if (std::filesystem::is_directory(docs)) {
            benchFolder(docs, {"TaskGroup", "zyzzyva", "function"}, scratch);
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
    return 0;
}
