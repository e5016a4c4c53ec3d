// Shown titles and quick find over a 200,000-entry catalogue, warm cache.
//
//   pelmaro-quick-find-bench              the titles of /usr/share/doc/openjdk-17-doc and
//                                         /usr/share/doc/python3.11/html (synthetic titles when
//                                         neither is there)
//   pelmaro-quick-find-bench FOLDER...    the titles of those folders
//
// The titles are extracted with the catalogue's own code (the scan, the accepted types,
// extractPageTitle), decoded with TitleDecoder, and repeated until the list holds 200,000
// entries. It prints what decoding costs (all titles, and the rows of one screen), and the time
// of every quick-find keystroke when typing queries character by character and erasing them
// again: min, median, 95th percentile and max.

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/synthetic_tree.h"
#include "catalogue/catalogue_builder.h"
#include "catalogue/folder_scan.h"
#include "page/page_title.h"
#include "page/page_types.h"
#include "page/shown_title.h"
#include "platform/file_system.h"
#include "search/case_fold.h"
#include "search/quick_find.h"
#include "search/title_search.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kEntries = 200000;
constexpr int kScreenRows = 40;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The processor time of this thread, in ms: what a keystroke costs whatever else the machine runs.
double threadMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct Entry {
    std::string stored;
    std::string path;
};

struct Distribution {
    double min, median, p95, max;
};

Distribution distributionOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const auto at = [&](double q) {
        return values[std::min(values.size() - 1, static_cast<std::size_t>(q * values.size()))];
    };
    return {values.front(), at(0.5), at(0.95), values.back()};
}

std::vector<Entry> titlesOf(pelmaro::platform::FileSystem& files,
                            const std::vector<std::string>& folders) {
    std::vector<Entry> entries;
    for (const std::string& folder : folders) {
        if (!std::filesystem::is_directory(folder)) {
            continue;
        }
        std::vector<std::string> names;
        pelmaro::collectFiles(files, folder, names);
        std::size_t taken = 0;
        for (const std::string& name : names) {
            if (!pelmaro::isAcceptedType(name)) {
                continue;
            }
            std::string title;
            try {
                title = pelmaro::extractPageTitle(files, name);
            } catch (const std::exception&) {
                title = pelmaro::defaultPageTitle(name);
            }
            entries.push_back({std::move(title), name});
            ++taken;
        }
        std::printf("%s: %zu entries\n", folder.c_str(), taken);
    }
    return entries;
}

// Documentation-like titles made of the synthetic pages' words, when no documentation is there.
std::vector<Entry> syntheticTitles() {
    const auto& words = pelmaro::bench::syntheticWords();
    std::mt19937 random(42);
    std::vector<Entry> entries;
    for (std::size_t n = 0; n < 20000; ++n) {
        std::string title;
        const int count = 2 + static_cast<int>(random() % 5);
        for (int w = 0; w < count; ++w) {
            title += (w == 0 ? "" : " ") + words[random() % words.size()];
        }
        title += " &amp; " + std::to_string(n);
        entries.push_back({title, "/synthetic/page" + std::to_string(n) + ".html"});
    }
    return entries;
}

// The query's characters, one keystroke each.
std::vector<std::string> keystrokes(const std::string& query) {
    std::vector<std::string> typed;
    for (std::size_t i = 0; i < query.size();) {
        std::size_t length = 0;
        pelmaro::utf8CharAt(query, i, length);
        i += length;
        typed.push_back(query.substr(0, i));
    }
    return typed;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> folders(argv + 1, argv + argc);
    if (folders.empty()) {
        folders = {"/usr/share/doc/openjdk-17-doc", "/usr/share/doc/python3.11/html"};
    }
    pelmaro::platform::PosixFileSystem files;

    auto start = Clock::now();
    std::vector<Entry> real = titlesOf(files, folders);
    std::printf("title extraction: %zu titles in %.0f ms\n", real.size(), msSince(start));
    const bool synthetic = real.empty();
    if (synthetic) {
        std::printf("no documentation found: synthetic titles\n");
        real = syntheticTitles();
    }

    // Decoding every distinct title once, as a window would for quick find.
    {
        pelmaro::TitleDecoder decoder(files);
        start = Clock::now();
        std::size_t changed = 0;
        for (const Entry& e : real) {
            changed += decoder.decode(e.stored, e.path) != e.stored;
        }
        const double ms = msSince(start);
        std::printf(
            "decoding all %zu titles: %.1f ms (%.2f us a title); %zu heads read, %zu titles "
            "changed\n",
            real.size(), ms, ms * 1e3 / real.size(), decoder.headsRead(), changed);
    }

    std::vector<Entry> entries;
    entries.reserve(kEntries);
    for (std::size_t i = 0; i < kEntries; ++i) {
        entries.push_back(real[i % real.size()]);
    }

    // Painting: the rows of one screen at random places, each screen with a fresh cache (its
    // first paint) and again (scrolling back).
    {
        std::mt19937 random(7);
        std::vector<double> first;
        std::vector<double> again;
        pelmaro::TitleDecoder decoder(files);
        for (int screen = 0; screen < 200; ++screen) {
            const int top = static_cast<int>(random() % (kEntries - kScreenRows));
            start = Clock::now();
            for (int row = top; row < top + kScreenRows; ++row) {
                const Entry& e = entries[static_cast<std::size_t>(row)];
                decoder.shown(row, e.stored, e.path);
            }
            first.push_back(msSince(start));
            start = Clock::now();
            for (int row = top; row < top + kScreenRows; ++row) {
                const Entry& e = entries[static_cast<std::size_t>(row)];
                decoder.shown(row, e.stored, e.path);
            }
            again.push_back(msSince(start));
        }
        const Distribution d1 = distributionOf(first);
        const Distribution d2 = distributionOf(again);
        std::printf(
            "one screen (%d rows), ms: first paint min %.3f median %.3f p95 %.3f max %.3f; "
            "cached min %.4f median %.4f max %.4f\n",
            kScreenRows, d1.min, d1.median, d1.p95, d1.max, d2.min, d2.median, d2.max);
    }

    // The shown titles of the whole list, then quick find over them.
    std::vector<std::string> shown;
    shown.reserve(kEntries);
    {
        pelmaro::TitleDecoder decoder(files);
        start = Clock::now();
        for (std::size_t i = 0; i < kEntries; ++i) {
            // Entries repeat: decode each distinct one once, as the window's cache would.
            shown.push_back(i < real.size() ? decoder.decode(entries[i].stored, entries[i].path)
                                            : shown[i % real.size()]);
        }
        std::printf("shown titles of %zu entries: %.0f ms\n", kEntries, msSince(start));
    }
    std::size_t bytes = 0;
    for (const auto& s : shown) {
        bytes += s.size();
    }
    start = Clock::now();
    pelmaro::QuickFind quickFind(shown);
    std::printf("quick find prepared (%zu titles, %.1f MB folded) in %.1f ms\n", quickFind.size(),
                bytes / 1e6, msSince(start));

    const std::vector<std::string> queries = {"string",       "arraylist",
                                              "HashMap",      "java.util.concurrent",
                                              "asyncio",      "tutorial",
                                              "os.path",      "Collectors",
                                              "xyzzy",        "\u00e9t\u00e9",
                                              "sql date",     "e",
                                              "lambda",       "List (Java SE 17 & JDK 17)",
                                              "JDK",          "socket",
                                              "unittest.mock"};
    std::vector<double> all;
    std::vector<double> allCpu;
    std::printf("\n%-28s %5s %8s %8s %8s %8s  (ms a keystroke, typing then erasing)\n", "query",
                "keys", "hits", "median", "max", "top hit");
    for (const std::string& query : queries) {
        std::vector<std::string> typed = keystrokes(query);
        for (std::size_t n = typed.size() - 1; n-- > 0;) {
            typed.push_back(typed[n]);  // erasing back to the first character
        }
        std::vector<double> times;
        std::vector<double> cpuTimes;
        pelmaro::QuickFindResult result;
        std::size_t fullHits = 0;
        std::string top;
        for (std::size_t k = 0; k < typed.size(); ++k) {
            start = Clock::now();
            const double cpuStart = threadMs();
            result = quickFind.find(typed[k]);
            cpuTimes.push_back(threadMs() - cpuStart);
            times.push_back(msSince(start));
            if (typed[k] == query) {
                fullHits = result.total;
                top = result.hits.empty() ? "-"
                                          : shown[static_cast<std::size_t>(result.hits[0].entry)];
                // At most 40 bytes, not cutting a character.
                std::size_t cut = std::min<std::size_t>(top.size(), 40);
                while (cut < top.size() && (static_cast<unsigned char>(top[cut]) & 0xC0) == 0x80) {
                    --cut;
                }
                top.resize(cut);
            }
        }
        // Leave the query box empty, as Esc would, so the next query starts afresh.
        quickFind.find("");
        const Distribution d = distributionOf(times);
        all.insert(all.end(), times.begin(), times.end());
        allCpu.insert(allCpu.end(), cpuTimes.begin(), cpuTimes.end());
        std::printf("%-28s %5zu %8zu %8.2f %8.2f  %s\n", query.c_str(), typed.size(), fullHits,
                    d.median, d.max, top.c_str());
    }
    const Distribution d = distributionOf(all);
    const Distribution cpu = distributionOf(allCpu);
    std::printf(
        "\nall %zu keystrokes over %zu titles (at most %zu hits returned each), ms:\n"
        "  elapsed        min %.3f  median %.3f  p95 %.3f  max %.3f\n"
        "  thread CPU     min %.3f  median %.3f  p95 %.3f  max %.3f\n",
        all.size(), kEntries, pelmaro::QuickFind::kDefaultLimit, d.min, d.median, d.p95, d.max,
        cpu.min, cpu.median, cpu.p95, cpu.max);

    // Search (F3) from the top through every shown title, for a text no title holds.
    {
        std::vector<std::string> stored;
        stored.reserve(kEntries);
        for (const Entry& e : entries) {
            stored.push_back(e.stored);
        }
        for (const char* text : {"zyzzyva", "\u00e9t\u00e9"}) {
            start = Clock::now();
            const std::size_t found = pelmaro::findTitles(stored, shown, text).size();
            std::printf("F3 over all %zu titles for \"%s\": %.1f ms (%zu titles match)\n", kEntries,
                        text, msSince(start), found);
        }
    }
    return 0;
}
