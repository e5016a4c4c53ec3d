// Catalogue building speed beside `grep -rl -m1 '</title>' FOLDER` on the same tree, warm cache.
//
//   pelmaro-build-bench           a synthetic tree of 100,000 pages in a temporary folder, and
//                                 /usr/share/doc/python3.11/html when it is there
//   pelmaro-build-bench FOLDER..  those folders
//
// For each tree it times whole builds as the Path command runs them (scan, titles, order, then
// saving both lists) and grep, each the best of three runs after one warm-up run, and splits the
// fastest build into its stages. Titling starts on worker threads while the scan goes on, so
// "titles" is what is left of it after the scan. Then it orders 1,000,000 synthetic titles. The
// catalogue files go to a temporary folder, never into the tree.

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/synthetic_tree.h"
#include "catalogue/catalogue_builder.h"
#include "catalogue/title_order.h"
#include "platform/file_system.h"
#include "platform/line_list.h"
#include "platform/list_control.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// The moments that end each stage of one build.
struct BuildTimes {
    Clock::time_point start, scanned, titled, ordered, saved;
    std::size_t scannedFiles = 0;
    std::size_t entries = 0;

    double whole() const { return secondsBetween(start, saved); }
};

BuildTimes timedBuild(const std::string& folder, const std::string& outFolder) {
    using namespace pelmaro;
    platform::PosixFileSystem files;
    BuildTimes times;
    times.start = Clock::now();
    std::size_t scanned = 0;
    // Progress is first reported as soon as the scan is over, and last when all is titled.
    const BuiltCatalogue built =
        buildCatalogue(files, folder, {}, {{}, [&](std::size_t done, std::size_t total) {
                                               scanned = total;
                                               if (times.scanned == Clock::time_point()) {
                                                   times.scanned = Clock::now();
                                               }
                                               if (done == total) {
                                                   times.titled = Clock::now();
                                               }
                                           }});
    times.ordered = Clock::now();
    if (times.scanned == Clock::time_point()) {
        times.scanned = times.titled = times.ordered;  // nothing to title: no progress was reported
    }
    saveCatalogue(files, outFolder, built.titles, built.paths);
    times.saved = Clock::now();
    times.scannedFiles = scanned;
    times.entries = built.titles.size();
    return times;
}

void benchTree(const std::string& folder, const std::string& outFolder) {
    BuildTimes fastest;
    double best = 1e300;
    pelmaro::bench::bestSeconds([&] {
        const BuildTimes times = timedBuild(folder, outFolder);
        if (times.whole() < best) {
            best = times.whole();
            fastest = times;
        }
    });
    const double grep = pelmaro::bench::bestSeconds([&] {
        pelmaro::bench::runCommand({"grep", "-rl", "-m1", "</title>", folder});
    });

    std::printf("%s\n", folder.c_str());
    std::printf("  %zu files scanned, %zu entries\n", fastest.scannedFiles, fastest.entries);
    std::printf("  scan   %8.3f s  (worker threads title meanwhile)\n",
                secondsBetween(fastest.start, fastest.scanned));
    std::printf("  titles %8.3f s  (after the scan)\n",
                secondsBetween(fastest.scanned, fastest.titled));
    std::printf("  order  %8.3f s\n", secondsBetween(fastest.titled, fastest.ordered));
    std::printf("  save   %8.3f s\n", secondsBetween(fastest.ordered, fastest.saved));
    std::printf("  whole build %8.3f s   grep -rl -m1 '</title>' %8.3f s   build/grep %.2f\n",
                fastest.whole(), grep, fastest.whole() / grep);
    std::printf("  peak memory so far %ld MB\n", pelmaro::bench::peakMegabytes());
}

void benchOrdering(std::size_t count) {
    const std::vector<std::string>& words = pelmaro::bench::syntheticWords();
    std::mt19937 random(42);
    std::vector<std::string> titles;
    titles.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::string title;
        const int length = 1 + static_cast<int>(random() % 4);
        for (int w = 0; w < length; ++w) {
            std::string word = words[random() % words.size()];
            // Keys that tie across case, as "Index" and "INDEX" do.
            if (random() % 4 == 0 && word[0] >= 'a' && word[0] <= 'z') {
                word[0] = static_cast<char>(word[0] - 'a' + 'A');
            }
            title += (w > 0 ? " " : "") + word;
        }
        // Many exact ties, as real catalogues have ("Index", "Contents"), and many unique ones.
        if (random() % 2 == 0) {
            title += " " + std::to_string(random() % 100000);
        }
        titles.push_back(std::move(title));
    }
    const auto start = Clock::now();
    std::vector<std::string> keys;
    keys.reserve(count);
    for (const auto& title : titles) {
        keys.push_back(pelmaro::titleOrderKey(title));
    }
    const auto keysMade = Clock::now();
    const auto order = pelmaro::orderByKeys(keys);
    const auto ordered = Clock::now();
    std::printf("ordering %zu titles: keys %.3f s + order %.3f s = %.3f s (goal < 1 s)\n", count,
                secondsBetween(start, keysMade), secondsBetween(keysMade, ordered),
                secondsBetween(start, ordered));
    std::printf("  peak memory so far %ld MB\n", pelmaro::bench::peakMegabytes());
    if (order.size() != count) {
        std::printf("  wrong size!\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string scratch =
        (std::filesystem::temp_directory_path() / "pelmaro-bench-XXXXXX").string();
    if (mkdtemp(scratch.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string out = scratch + "/out";
    std::filesystem::create_directories(out);

    std::vector<std::string> folders(argv + 1, argv + argc);
    for (const auto& folder : folders) {
        if (!std::filesystem::is_directory(folder)) {
            std::fprintf(stderr, "usage: pelmaro-build-bench [FOLDER...]\n\"%s\" is not a folder\n",
                         folder.c_str());
            return 2;
        }
    }
    if (folders.empty()) {
        const std::string tree = scratch + "/tree";
        const auto start = Clock::now();
        pelmaro::bench::makeSyntheticTree(tree, 100000);
        std::printf("wrote a synthetic tree of 100,000 pages in %.1f s\n",
                    secondsBetween(start, Clock::now()));
        folders.push_back(tree);
        if (std::filesystem::is_directory("/usr/share/doc/python3.11/html")) {
            folders.push_back("/usr/share/doc/python3.11/html");
        }
    }
    for (const auto& folder : folders) {
        benchTree(folder, out);
    }
    benchOrdering(1000000);
    std::filesystem::remove_all(scratch);
    return 0;
}
