// Catalogue building speed beside `grep -rl -m1 '</title>' FOLDER` on the same tree, warm cache.
//
//   pelmaro-build-bench           a synthetic tree of 100,000 pages in a temporary folder, and
//                                 /usr/share/doc/python3.11/html when it is there
//   pelmaro-build-bench FOLDER..  those folders
//
// For each tree it prints the time of each stage (scan, titles, order, save), of a whole build,
// and of grep, each the best of three runs after one warm-up run. Then it orders 1,000,000
// synthetic titles. The catalogue files go to a temporary folder, never into the tree.

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench/synthetic_tree.h"
#include "catalogue/catalogue_builder.h"
#include "catalogue/folder_scan.h"
#include "catalogue/line_list.h"
#include "catalogue/page_title.h"
#include "catalogue/title_order.h"
#include "platform/file_system.h"
#include "platform/list_control.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

class IdleWindow final : public pelmaro::platform::Window {
public:
    void setStatus(const std::string&) override {}
    void processPendingMessages() override {}
    bool closeRequested() const override { return false; }
};

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// The best of three timed runs, after one run that warms the cache.
double best(const std::function<void()>& run) {
    run();
    double fastest = 1e300;
    for (int i = 0; i < 3; ++i) {
        const auto start = Clock::now();
        run();
        fastest = std::min(fastest, seconds(start));
    }
    return fastest;
}

void runQuietly(std::vector<std::string> args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
}

long peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

void benchTree(const std::string& folder, const std::string& outFolder) {
    using namespace pelmaro;
    platform::PosixFileSystem files;
    IdleWindow window;

    std::vector<std::string> scanned;
    const double scan = best([&] {
        scanned.clear();
        CollectFiles(files, &window, folder, scanned);
    });
    std::vector<std::string> paths;
    for (const auto& name : scanned) {
        if (isAcceptedType(name)) {
            paths.push_back(name);
        }
    }
    std::vector<std::string> titles;
    const double title = best([&] {
        titles.clear();
        for (const auto& name : paths) {
            titles.push_back(ExtractPageTitle(files, name));
        }
    });
    std::vector<std::size_t> order;
    const double sort = best([&] { order = orderByTitle(titles); });
    const platform::MemoryList titleList(titles);
    const platform::MemoryList pathList(paths);
    const double save = best([&] {
        saveList(files, titleList, outFolder + "/bench.title");
        saveList(files, pathList, outFolder + "/bench.path");
    });

    platform::MemoryList builtTitles;
    platform::MemoryList builtPaths;
    const double whole = best([&] {
        std::vector<std::string> names;
        buildCatalogue({builtTitles, builtPaths}, files, window, folder, names);
        saveList(files, builtTitles, outFolder + "/bench.title");
        saveList(files, builtPaths, outFolder + "/bench.path");
    });
    const double grep = best([&] { runQuietly({"grep", "-rl", "-m1", "</title>", folder}); });

    std::printf("%s\n", folder.c_str());
    std::printf("  %zu files scanned, %zu entries\n", scanned.size(), paths.size());
    std::printf("  scan   %8.3f s\n", scan);
    std::printf("  titles %8.3f s\n", title);
    std::printf("  order  %8.3f s\n", sort);
    std::printf("  save   %8.3f s\n", save);
    std::printf("  whole build %8.3f s   grep -rl -m1 '</title>' %8.3f s   build/grep %.2f\n",
                whole, grep, whole / grep);
    std::printf("  peak memory so far %ld MB\n", peakMegabytes());
}

void benchOrdering(std::size_t count) {
    const std::vector<std::string> words = {"the",
                                            "Reader",
                                            "catalogue",
                                            "Page",
                                            "function",
                                            "returns",
                                            "value",
                                            "module",
                                            "CLASS",
                                            "method",
                                            "index",
                                            "Setup",
                                            "\xc3\xa9t\xc3\xa9",
                                            "na\xc3\xafve",
                                            "stra\xc3\x9f"
                                            "e",
                                            "data",
                                            "file",
                                            "folder",
                                            "path",
                                            "title"};
    std::mt19937 random(42);
    std::vector<std::string> titles;
    titles.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::string title;
        const int length = 1 + static_cast<int>(random() % 4);
        for (int w = 0; w < length; ++w) {
            title += (w > 0 ? " " : "") + words[random() % words.size()];
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
    const double keyTime = seconds(start);
    const auto orderStart = Clock::now();
    const auto order = pelmaro::orderByKeys(keys);
    const double orderTime = seconds(orderStart);
    std::printf("ordering %zu titles: keys %.3f s + order %.3f s = %.3f s (goal < 1 s)\n", count,
                keyTime, orderTime, keyTime + orderTime);
    std::printf("  peak memory so far %ld MB\n", peakMegabytes());
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
    if (folders.empty()) {
        const std::string tree = scratch + "/tree";
        const auto start = Clock::now();
        pelmaro::bench::makeSyntheticTree(tree, 100000);
        std::printf("wrote a synthetic tree of 100,000 pages in %.1f s\n", seconds(start));
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
