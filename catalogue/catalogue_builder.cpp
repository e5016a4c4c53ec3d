#include "catalogue/catalogue_builder.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <system_error>
#include <thread>

#include "catalogue/catalogue_files.h"
#include "catalogue/folder_scan.h"
#include "catalogue/line_list.h"
#include "catalogue/page_title.h"
#include "catalogue/strings.h"
#include "catalogue/title_order.h"
#include "catalogue/title_workers.h"
#include "platform/error.h"

namespace pelmaro {
namespace {

// The caption and the event pump are served every this many scanned names: often enough to
// keep the window lively, rarely enough to cost nothing.
constexpr std::size_t kNamesBetweenPauses = 256;

// While worker threads read titles, the calling thread handles events this often.
constexpr auto kPumpInterval = std::chrono::milliseconds(20);
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

// The title of a scanned name; empty for a name that does not enter the catalogue.
std::string titleOf(platform::FileSystem& files, const std::string& name) {
    if (!isAcceptedType(name)) {
        return {};
    }
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
        titles[n] = titleOf(files, names[n]);
    }
    return true;
}

// How many threads may read titles at once; 1 when the file system allows no more.
unsigned titleWorkers(const platform::FileSystem& files) {
    return files.threadSafeReads()
               ? std::clamp(std::thread::hardware_concurrency(), 1u, kMostWorkers)
               : 1;
}

// Hands the scan's names to title workers at each of its pauses (one per folder), so that
// titling runs while the scan goes on. The workers start once the scan has found enough names to
// be worth them.
class FeedingWindow final : public platform::Window {
public:
    FeedingWindow(platform::Window& window, platform::FileSystem& files,
                  const std::vector<std::string>& names, unsigned workers)
        : window_(window), files_(files), names_(names), workers_(workers) {}

    void setStatus(const std::string& caption) override { window_.setStatus(caption); }
    void processPendingMessages() override {
        feed();
        window_.processPendingMessages();
    }
    bool closeRequested() const override { return window_.closeRequested(); }

    // Hands over what the scan found since the last pause.
    void feed() {
        if (!pool_ && workers_ > 1 && names_.size() >= kFewestNamesForWorkers) {
            try {
                pool_.emplace(
                    [&files = files_](const std::string& name) { return titleOf(files, name); },
                    workers_);
            } catch (const std::system_error&) {
                workers_ = 1;  // no threads to be had: titling stays on the calling thread
            }
        }
        if (pool_) {
            pool_->add(names_.begin() + static_cast<std::ptrdiff_t>(fed_), names_.end());
            fed_ = names_.size();
        }
    }

    // The workers, once started.
    TitleWorkers* pool() { return pool_ ? &*pool_ : nullptr; }

private:
    platform::Window& window_;
    platform::FileSystem& files_;
    const std::vector<std::string>& names_;
    unsigned workers_;
    std::size_t fed_ = 0;
    std::optional<TitleWorkers> pool_;
};

// Waits for the workers to title every name, pausing every kPumpInterval. False when the window
// is closing.
bool awaitWorkers(TitleWorkers& workers, platform::Window& window, std::size_t total,
                  const BuildProgress& progress) {
    workers.close();
    if (!pause(window, progress, workers.done(), total)) {
        return false;
    }
    while (!workers.waitFor(kPumpInterval)) {
        if (!pause(window, progress, workers.done(), total)) {
            return false;
        }
    }
    // The last pause, as titling on this thread ends.
    return pause(window, progress, total - 1, total);
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
    FeedingWindow feeding(window, files, scannedFiles, titleWorkers(files));
    CollectFiles(files, &feeding, folder, scannedFiles);
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
    feeding.feed();
    std::vector<std::string> slots;
    if (TitleWorkers* workers = feeding.pool()) {
        if (!awaitWorkers(*workers, window, total, progress)) {
            return BuildResult::Stopped;
        }
        slots = workers->takeTitles();
    } else {
        slots.resize(total);
        if (!titleOnThisThread(files, window, scannedFiles, slots, progress)) {
            return BuildResult::Stopped;
        }
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
    saveCataloguePair(files, base, catalogue.titles, catalogue.paths);
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
    const bool wasStored = current_.shownIsStored;
    current_.shownIsStored = false;  // the lists are about to show what no file holds yet
    const BuildResult result = buildCatalogue(catalogue_, files_, window_, folder, scannedFiles_);
    if (result == BuildResult::NoFiles) {
        current_.shownIsStored = wasStored;  // the lists were not touched
        return;
    }
    if (result != BuildResult::Built || window_.closeRequested()) {
        return;
    }
    if (!dialogs_.askYesNo("Information",
                           "save the result ?that last time can open it or load it auto")) {
        return;
    }
    current_.switchTo(saveCatalogue(catalogue_, files_, folder));
}

}  // namespace pelmaro
