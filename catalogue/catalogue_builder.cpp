#include "catalogue/catalogue_builder.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "catalogue/folder_scan.h"
#include "catalogue/line_list.h"
#include "catalogue/page_title.h"
#include "catalogue/strings.h"
#include "catalogue/title_order.h"
#include "platform/error.h"

namespace pelmaro {
namespace {

// The caption and the event pump are served every this many scanned names: often enough to
// keep the window lively, rarely enough to cost nothing.
constexpr std::size_t kNamesBetweenPauses = 256;

// While worker threads read titles, the calling thread handles events this often.
constexpr auto kPumpInterval = std::chrono::milliseconds(20);
// Workers claim names in batches: few enough to cost no contention, small enough to stop soon.
constexpr std::size_t kNamesPerClaim = 32;
// Starting threads costs more than titling this few names takes.
constexpr std::size_t kFewestNamesForWorkers = 1024;
// Titling is mostly system calls on one folder tree; beyond a few threads they wait on each
// other in the kernel.
constexpr unsigned kMostWorkers = 8;

std::vector<std::string> permuted(std::vector<std::string>& items,
                                  const std::vector<std::size_t>& order) {
    std::vector<std::string> out;
    out.reserve(items.size());
    for (const std::size_t i : order) {
        out.push_back(std::move(items[i]));
    }
    return out;
}

// The title of a scanned name that enters the catalogue.
std::string titleOf(platform::FileSystem& files, const std::string& name) {
    try {
        return ExtractPageTitle(files, name);
    } catch (const Error&) {
        // Removed or locked since the scan: the page keeps a title, and the lists stay line for
        // line parallel.
        return defaultPageTitle(name);
    }
}

// A pause in titling: handles pending events, then shows that `done` of the `total` names are
// titled. False when the window is closing.
bool pause(platform::Window& window, const BuildProgress& progress, std::size_t done,
           std::size_t total) {
    window.processPendingMessages();
    if (window.closeRequested()) {
        return false;
    }
    window.setStatus("loading " + std::to_string(done));
    if (progress) {
        progress(done, total);
    }
    return true;
}

// Titles every accepted name into titles[i] (the other slots stay empty), pausing every
// kNamesBetweenPauses names and before the last. False when the window is closing.
bool titleOnThisThread(platform::FileSystem& files, platform::Window& window,
                       const std::vector<std::string>& names, std::vector<std::string>& titles,
                       const BuildProgress& progress) {
    const std::size_t total = names.size();
    for (std::size_t n = 0; n < total; ++n) {
        if ((n % kNamesBetweenPauses == 0 || n + 1 == total) &&
            !pause(window, progress, n, total)) {
            return false;
        }
        if (isAcceptedType(names[n])) {
            titles[n] = titleOf(files, names[n]);
        }
    }
    return true;
}

// The same, with `workers` threads reading the pages while this thread pauses every
// kPumpInterval. Each title lands in its own slot, so the result does not depend on which thread
// read which page.
bool titleOnWorkers(platform::FileSystem& files, platform::Window& window,
                    const std::vector<std::string>& names, std::vector<std::string>& titles,
                    const BuildProgress& progress, unsigned workers) {
    const std::size_t total = names.size();
    std::atomic<std::size_t> nextClaim{0};
    std::atomic<std::size_t> handled{0};
    std::atomic<bool> stop{false};
    bool closing = false;
    std::mutex mutex;
    std::condition_variable changed;
    unsigned running = 0;        // guarded by mutex
    std::exception_ptr failure;  // the first unexpected failure of a worker; guarded by mutex

    const auto work = [&] {
        try {
            while (!stop.load(std::memory_order_relaxed)) {
                const std::size_t begin = nextClaim.fetch_add(kNamesPerClaim);
                if (begin >= total) {
                    break;
                }
                const std::size_t end = std::min(total, begin + kNamesPerClaim);
                for (std::size_t n = begin; n < end && !stop.load(std::memory_order_relaxed); ++n) {
                    if (isAcceptedType(names[n])) {
                        titles[n] = titleOf(files, names[n]);
                    }
                }
                handled.fetch_add(end - begin, std::memory_order_relaxed);
            }
        } catch (...) {
            const std::lock_guard lock(mutex);
            if (!failure) {
                failure = std::current_exception();
            }
            stop = true;
        }
        const std::lock_guard lock(mutex);
        --running;
        changed.notify_all();
    };

    if (!pause(window, progress, 0, total)) {
        return false;
    }
    {
        std::vector<std::jthread> threads;
        // Should this thread leave early (an event handler threw), the workers stop at their
        // next page; the threads are then joined, before anything they use goes.
        const struct StopOnExit {
            std::atomic<bool>& stop;
            ~StopOnExit() { stop = true; }
        } stopOnExit{stop};
        try {
            for (unsigned i = 0; i < workers; ++i) {
                const std::lock_guard lock(mutex);
                threads.emplace_back(work);
                ++running;
            }
        } catch (const std::system_error&) {
            // The system gives no more threads: those that started do the work.
            if (threads.empty()) {
                return titleOnThisThread(files, window, names, titles, progress);
            }
        }

        std::unique_lock lock(mutex);
        while (!changed.wait_for(lock, kPumpInterval, [&] { return running == 0; })) {
            if (stop) {
                continue;  // the workers end their pages
            }
            lock.unlock();
            if (!pause(window, progress, handled.load(std::memory_order_relaxed), total)) {
                closing = true;
                stop = true;
            }
            lock.lock();
        }
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    if (closing) {
        return false;
    }
    // The last pause, as titling on this thread ends.
    return pause(window, progress, total - 1, total);
}

// How many threads may read titles at once; 1 when the file system allows no more.
unsigned titleWorkers(const platform::FileSystem& files, std::size_t names) {
    if (!files.threadSafeReads() || names < kFewestNamesForWorkers) {
        return 1;
    }
    return std::clamp(std::thread::hardware_concurrency(), 1u, kMostWorkers);
}

}  // namespace

bool isAcceptedType(std::string_view fileName) {
    return hasExtensionAmong(fileName, {".htm", ".html", ".shtm", ".gif", ".jpg", ".bmp", ".shtml",
                                        ".asp", ".cgi", ".xml", ".txt"});
}

BuildResult buildCatalogue(Catalogue catalogue, platform::FileSystem& files,
                           platform::Window& window, const std::string& folder,
                           std::vector<std::string>& scannedFiles, const BuildProgress& progress) {
    window.setStatus("please wait...");
    scannedFiles.clear();
    CollectFiles(files, &window, folder, scannedFiles);
    if (window.closeRequested()) {
        return BuildResult::Stopped;
    }
    if (scannedFiles.empty()) {
        window.setStatus("no files");
        return BuildResult::NoFiles;
    }

    catalogue.titles.clear();
    catalogue.paths.clear();
    const std::size_t total = scannedFiles.size();
    std::vector<std::string> slots(total);
    const unsigned workers = titleWorkers(files, total);
    const bool titled = workers > 1
                            ? titleOnWorkers(files, window, scannedFiles, slots, progress, workers)
                            : titleOnThisThread(files, window, scannedFiles, slots, progress);
    if (!titled) {
        return BuildResult::Stopped;
    }
    if (progress) {
        progress(total, total);
    }

    std::vector<std::string> titles;
    std::vector<std::string> paths;
    for (std::size_t n = 0; n < total; ++n) {
        if (isAcceptedType(scannedFiles[n])) {
            paths.push_back(scannedFiles[n]);
            titles.push_back(std::move(slots[n]));
        }
    }

    if (titles.empty()) {
        return BuildResult::Built;
    }
    const std::vector<std::size_t> order = orderByTitle(titles);
    const std::size_t m = titles.size();
    catalogue.paths.assign(permuted(paths, order));
    catalogue.titles.assign(permuted(titles, order));
    window.setStatus("sorting..." + std::to_string(m) + " total is " + std::to_string(m));
    return BuildResult::Built;
}

std::string saveCatalogue(Catalogue catalogue, platform::FileSystem& files,
                          const std::string& folder) {
    const std::string base =
        (folder.empty() || folder.back() != '/' ? folder + "/" : folder) + kCatalogueBaseName;
    saveList(files, catalogue.titles, base + ".title");
    saveList(files, catalogue.paths, base + ".path");
    return base + ".bookmark";
}

CatalogueBuilder::CatalogueBuilder(Catalogue catalogue, CurrentCatalogue& current,
                                   platform::Window& window, platform::Dialogs& dialogs,
                                   platform::FileSystem& files, platform::LongCommandGate& gate)
    : catalogue_(catalogue),
      current_(current),
      window_(window),
      dialogs_(dialogs),
      files_(files),
      gate_(gate) {}

void CatalogueBuilder::Path1Click() {
    if (gate_.busy()) {
        return;
    }
    const platform::LongCommandGate::Hold hold(gate_);
    const std::string folder = dialogs_.pickFolder("please select a path for scan");
    if (folder.empty()) {
        return;
    }
    if (buildCatalogue(catalogue_, files_, window_, folder, scannedFiles_) != BuildResult::Built ||
        window_.closeRequested()) {
        return;
    }
    if (!dialogs_.askYesNo("Information",
                           "save the result ?that last time can open it or load it auto")) {
        return;
    }
    current_.switchTo(saveCatalogue(catalogue_, files_, folder));
}

}  // namespace pelmaro
