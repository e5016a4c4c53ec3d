// How long the title list takes to follow the page: the entry of the file the view shows is found
// through the path index, made once per catalogue, instead of a walk through the paths.
//
//   pelmaro-page-lookup-bench [ENTRIES]    200,000 entries unless given
//
// Prints the time to make the index (done on the worker thread, with the catalogue), the time of
// one lookup through it and through a walk, and the memory the index takes.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "reader/path_index.h"

int main(int argc, char** argv) {
    const std::size_t entries = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200000;
    // The path list as the window holds it.
    pelmaro::platform::TextList paths;
    // Every 97th entry, spread over the catalogue, and as many names of no entry.
    std::vector<std::string> lookedFor;
    for (std::size_t i = 0; i < entries; ++i) {
        const std::string path = "/home/reader/docs/library/section" + std::to_string(i / 100) +
                                 "/page" + std::to_string(i) + ".html";
        paths.push_back(path);
        if (i % 97 == 0) {
            lookedFor.push_back(path);
            lookedFor.push_back(path + ".missing");
        }
    }

    const long before = pelmaro::bench::peakMegabytes();
    pelmaro::PathIndex index;
    const double making = pelmaro::bench::bestSeconds([&] { index = pelmaro::PathIndex(paths); });
    const long after = pelmaro::bench::peakMegabytes();

    long found = 0;
    const double indexed = pelmaro::bench::bestSeconds([&] {
        found = 0;
        for (const std::string& name : lookedFor) {
            found += index.find(paths, name) >= 0;
        }
    });
    long walked = 0;
    const double walking = pelmaro::bench::bestSeconds(
        [&] {
            walked = 0;
            for (const std::string& name : lookedFor) {
                walked += std::find(paths.begin(), paths.end(), name) != paths.end();
            }
        },
        1);
    const double lookups = static_cast<double>(lookedFor.size());
    std::printf("%zu entries: index made in %.1f ms, about %ld MB\n", entries, making * 1e3,
                after - before);
    std::printf(
        "one lookup: %.2f us through the index, %.0f us walking the paths (%ld / %ld found)\n",
        indexed / lookups * 1e6, walking / lookups * 1e6, found, walked);
    return found == walked ? 0 : 1;
}
