// Full-text search speed beside ripgrep and GNU grep on the same files, warm and cold cache.
//
//   pelmaro-search-bench                 a synthetic tree of 100,000 pages in a temporary folder,
//                                        /usr/share/doc/python3.11/html when it is there, and
//                                        100,000 pages made of links to copies of it
//   pelmaro-search-bench FOLDER [WORD..] that folder, with the given words
//   pelmaro-search-bench --copies        only the Python documentation and its copies
//
// It also times the title search over 200,000 titles.
//
// Every regular file under the folder is a catalogue entry, so all tools read the same files.
// Warm: each command runs once to warm the cache, then three times; the best time counts. Cold:
// the tree's pages are dropped from the cache (posix_fadvise, so other programs keep theirs)
// before a single run.
//
// "ours" is searchFiles as pelmaro-cli search runs it, on every core; "-j1" on one thread;
// "window" as F11 runs it, counting every hit of the pages found for the ranking.

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_support.h"
#include "bench/synthetic_tree.h"
#include "platform/file_system.h"
#include "platform/list_control.h"
#include "search/full_text_search.h"
#include "search/title_search.h"
#include "search/word_starts.h"

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

// Drops the files' pages from the cache, as after a reboot.
void dropFromCache(const std::vector<std::string>& files) {
    for (const std::string& file : files) {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
}

// A tree of `pages` pages made of `source`'s files again and again, one folder per round, each
// page a hard link (a copy where links can't be made).
void makeCopiesTree(const std::string& source, const std::string& tree, std::size_t pages) {
    const std::vector<std::string> files = regularFilesUnder(source);
    std::size_t made = 0;
    for (int round = 0; made < pages && !files.empty(); ++round) {
        for (const std::string& file : files) {
            if (made == pages) {
                break;
            }
            // Lexically: the tree's symbolic links point elsewhere.
            const std::filesystem::path to = std::filesystem::path(tree) /
                                             ("copy" + std::to_string(round)) /
                                             std::filesystem::path(file).lexically_relative(source);
            std::filesystem::create_directories(to.parent_path());
            std::error_code linkError;
            std::filesystem::create_hard_link(std::filesystem::canonical(file), to, linkError);
            if (linkError) {
                std::filesystem::copy_file(file, to);
            }
            ++made;
        }
    }
}

// Runs a command with its output in `outName`; returns its output's line count.
std::size_t runTool(const std::vector<std::string>& args, const std::string& outName) {
    if (!pelmaro::bench::runCommand(args, outName)) {
        std::fprintf(stderr, "cannot run %s\n", args.front().c_str());
        std::exit(2);
    }
    return pelmaro::bench::countLines(outName);
}

struct Tool {
    const char* name;
    std::function<std::size_t()> run;  // returns the files found
};

void benchFolder(const std::string& folder, const std::vector<std::string>& words,
                 const std::string& scratch, bool quick = false) {
    const std::vector<std::string> files = regularFilesUnder(folder);
    std::uintmax_t bytes = 0;
    for (const std::string& file : files) {
        bytes += std::filesystem::file_size(file);
    }
    std::printf("\n%s: %zu files, %.1f MB\n", folder.c_str(), files.size(), bytes / 1e6);
    const std::string outName = scratch + "/tool.out";
    pelmaro::platform::PosixFileSystem fileSystem;
    for (const std::string& word : words) {
        const auto ours = [&](unsigned threads, bool counting) {
            std::size_t found = 0;
            pelmaro::FullTextObserver observer{
                .reading = {}, .found = [&](std::size_t) { ++found; }, .skipped = {}};
            if (counting) {
                observer.counted = [](std::size_t, const pelmaro::PageHits&) {};
            }
            pelmaro::searchFiles(fileSystem, files, word, {}, observer, pelmaro::TextRule::Shown,
                                 threads);
            return found;
        };
        std::vector<Tool> tools = {
            {"ours", [&] { return ours(0, false); }},
            {"ours -j1", [&] { return ours(1, false); }},
            {"window", [&] { return ours(0, true); }},
            {"rg",
             [&] {
                 return runTool({"rg", "-i", "-F", "-l", word, folder}, outName);
             }},
            {"rg -j1",
             [&] {
                 return runTool({"rg", "-j1", "-i", "-F", "-l", word, folder}, outName);
             }},
        };
        if (quick) {
            // Pages that are links share their cache: only warm figures mean something.
            tools.erase(tools.begin() + 2);
        } else {
            tools.push_back({"grep", [&] {
                                 return runTool({"grep", "-rliF", word, folder}, outName);
                             }});
        }
        std::printf("%-16s %-9s %9s %9s %8s\n", word.c_str(), "", "warm s", "cold s", "hits");
        double oursWarm = 0;
        double oursCold = 0;
        for (const Tool& tool : tools) {
            std::size_t hits = 0;
            const double warm =
                pelmaro::bench::bestSeconds([&] { hits = tool.run(); }, quick ? 1 : 3);
            using Clock = std::chrono::steady_clock;
            double coldSeconds = 0;
            if (!quick) {
                dropFromCache(files);
                const auto start = Clock::now();
                tool.run();
                coldSeconds = std::chrono::duration<double>(Clock::now() - start).count();
            }
            if (std::string_view(tool.name) == "ours") {
                oursWarm = warm;
                oursCold = coldSeconds;
            }
            std::printf("%-16s %-9s %9.3f %9.3f %8zu", "", tool.name, warm, coldSeconds, hits);
            if (std::string_view(tool.name) == "rg" && quick) {
                std::printf("   ours/rg warm %.2f", oursWarm / warm);
            } else if (std::string_view(tool.name) == "rg") {
                std::printf("   ours/rg warm %.2f, cold %.2f", oursWarm / warm,
                            oursCold / coldSeconds);
            }
            std::printf("\n");
        }
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
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // figures as they come, into a file too
    const bool onlyCopies = argc == 2 && std::string_view(argv[1]) == "--copies";
    if (argc > 1 && !onlyCopies && !std::filesystem::is_directory(argv[1])) {
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
    // The first look's speed depends on the vector unit it takes: say which, so that figures of
    // different machines can be told apart.
    constexpr const char* kUnitNames[] = {"none", "SSE2", "AVX2", "AVX-512"};
    std::printf("The first look at a page's bytes uses %s.\n",
                kUnitNames[static_cast<int>(pelmaro::vectorUnitsHere().back())]);
    if (!onlyCopies) {
        benchTitleSearch();
    }
    if (argc > 1 && !onlyCopies) {
        const std::vector<std::string> words(argv + 2, argv + argc);
        benchFolder(argv[1], words.empty() ? std::vector<std::string>{"Setup"} : words, scratch);
    } else {
        if (!onlyCopies) {
            const std::string tree = scratch + "/tree";
            std::printf("writing 100,000 synthetic pages...\n");
            pelmaro::bench::makeSyntheticTree(tree, 100000);
            // "page4242.html" is the link in one page; "Setup" is in nearly every page.
            benchFolder(tree, {"page4242.html", "zyzzyva", "Setup"}, scratch);
            std::filesystem::remove_all(tree);
        }
        const std::string docs = "/usr/share/doc/python3.11/html";
        if (std::filesystem::is_directory(docs)) {
            benchFolder(docs, {"TaskGroup", "zyzzyva", "function"}, scratch);
            const std::string copies = scratch + "/copies";
            std::printf("\nlinking 100,000 pages of copies of %s...\n", docs.c_str());
            makeCopiesTree(docs, copies, 100000);
            benchFolder(copies, {"zyzzyva"}, scratch, true);
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
    return 0;
}
