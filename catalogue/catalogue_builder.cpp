#include "catalogue/catalogue_builder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>

#include "catalogue/catalogue_files.h"
#include "catalogue/folder_scan.h"
#include "catalogue/title_order.h"
#include "catalogue/title_workers.h"
#include "page/page_title.h"
#include "page/page_types.h"
#include "platform/error.h"
#include "platform/file_names.h"
#include "platform/line_list.h"

namespace pelmaro {
namespace {

// Progress is told every this many titled names: often enough for a lively caption, rarely
// enough to cost nothing.
constexpr std::size_t kNamesBetweenReports = 256;

// While worker threads read titles, the calling thread tells the progress this often.
constexpr auto kReportInterval = std::chrono::milliseconds(20);
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
        return extractPageTitle(files, name);
    } catch (const Error&) {
        // Removed or locked since the scan: the page keeps a title, and the lists stay line for
        // line parallel.
        return defaultPageTitle(name);
    }
}

// Titles every accepted name into titles[i] (the other slots stay empty), telling the progress
// every kNamesBetweenReports names and before the last. False when stopped.
bool titleOnThisThread(platform::FileSystem& files, const std::vector<std::string>& names,
                       std::vector<std::string>& titles, std::stop_token stop,
                       const BuildProgress& progress) {
    const std::size_t total = names.size();
    for (std::size_t n = 0; n < total; ++n) {
        if (n % kNamesBetweenReports == 0 || n + 1 == total) {
            if (stop.stop_requested()) {
                return false;
            }
            if (progress.titling) {
                progress.titling(n, total);
            }
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

// Hands the scan's names to title workers after each folder, so that titling runs while the scan
// goes on. The workers start once the scan has found enough names to be worth them.
class TitleFeeder {
public:
    TitleFeeder(platform::FileSystem& files, const std::vector<std::string>& names,
                unsigned workers)
        : files_(files), names_(names), workers_(workers) {}

    // Hands over what the scan found since the last call.
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
    platform::FileSystem& files_;
    const std::vector<std::string>& names_;
    unsigned workers_;
    std::size_t fed_ = 0;
    std::optional<TitleWorkers> pool_;
};

// Waits for the workers to title every name, telling the progress every kReportInterval. False
// when stopped.
bool awaitWorkers(TitleWorkers& workers, std::size_t total, std::stop_token stop,
                  const BuildProgress& progress) {
    workers.close();
    const auto report = [&](std::size_t done) {
        if (stop.stop_requested()) {
            return false;
        }
        if (progress.titling) {
            progress.titling(std::min(done, total - 1), total);
        }
        return true;
    };
    if (!report(workers.done())) {
        return false;
    }
    while (!workers.waitFor(kReportInterval)) {
        if (!report(workers.done())) {
            return false;
        }
    }
    return report(total - 1);
}

}  // namespace

void addIgnoreFile(platform::FileSystem& files, const std::string& fileName, IgnoreRules& rules) {
    if (!files.fileExists(fileName)) {
        return;
    }
    constexpr std::size_t kMostRead = 1 << 20;
    std::string text(kMostRead, '\0');
    std::size_t got = 0;
    try {
        const std::unique_ptr<platform::InputFile> input = files.openForReading(fileName);
        for (std::size_t n = 1; n != 0 && got < text.size(); got += n) {
            n = input->read(text.data() + got, text.size() - got);
        }
    } catch (const Error&) {
        // An ignore file that can't be read leaves nothing out.
    }
    text.resize(got);
    rules.addLines(text);
}

namespace {

// The comment above each line leaveFolderOut writes, so that it can be taken back.
constexpr std::string_view kLeftOutMark = "# left out in Pelmaro";

// A name as a pattern that matches only itself: "a*b" -> "a\*b".
std::string literalPattern(std::string_view name) {
    std::string pattern;
    for (const char c : name) {
        if (c == '*' || c == '?' || c == '[' || c == '\\' || c == '!' || c == '#' || c == ' ') {
            pattern += '\\';
        }
        pattern += c;
    }
    return pattern;
}

std::string readIgnoreText(platform::FileSystem& files, const std::string& fileName) {
    return files.fileExists(fileName) ? platform::readWholeFile(files, fileName) : std::string();
}

bool isUnwritable(const Error& error) {
    const int code = error.systemError();
    return code == EACCES || code == EPERM || code == EROFS;
}

}  // namespace

std::string keptIgnoreFile(platform::FileSystem& files, const std::string& folder,
                           const std::string& dataFolder) {
    return platform::childName(
        keptCatalogueFolder(dataFolder, files.realPath(folder).value_or(folder)), kIgnoreFileName);
}

void leaveFolderOut(platform::FileSystem& files, const std::string& folder,
                    const std::string& relativeFolder, const std::string& dataFolder) {
    const std::string line =
        std::string(kLeftOutMark) + "\n/" + literalPattern(relativeFolder) + "/\n";
    const auto append = [&](const std::string& fileName) {
        std::string text = readIgnoreText(files, fileName);
        if (!text.empty() && text.back() != '\n') {
            text += '\n';
        }
        files.writeFile(fileName, text + line);
    };
    try {
        append(platform::childName(folder, kIgnoreFileName));
    } catch (const Error& error) {
        if (!isUnwritable(error) || dataFolder.empty()) {
            throw;
        }
        const std::string kept = keptIgnoreFile(files, folder, dataFolder);
        files.makeFolders(platform::folderOf(kept));
        append(kept);
    }
}

bool bringBackFoldersLeftOut(platform::FileSystem& files, const std::string& folder,
                             const std::string& dataFolder) {
    bool any = false;
    std::vector<std::string> ignoreFiles{platform::childName(folder, kIgnoreFileName)};
    if (!dataFolder.empty()) {
        ignoreFiles.push_back(keptIgnoreFile(files, folder, dataFolder));
    }
    for (const std::string& fileName : ignoreFiles) {
        const std::string text = readIgnoreText(files, fileName);
        std::string kept;
        bool dropNext = false;
        bool changed = false;
        std::string_view rest = text;
        while (!rest.empty()) {
            const std::size_t end = rest.find('\n');
            const std::string_view line = rest.substr(0, end);
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
            if (line == kLeftOutMark) {
                dropNext = true;
                changed = true;
                continue;
            }
            if (!dropNext) {
                kept += line;
                kept += '\n';
            }
            dropNext = false;
        }
        if (changed) {
            files.writeFile(fileName, kept);
            any = true;
        }
    }
    return any;
}

BuiltCatalogue buildCatalogue(platform::FileSystem& files, const std::string& folder,
                              std::stop_token stop, const BuildProgress& progress,
                              const IgnoreRules& alsoLeftOut) {
    BuiltCatalogue built;
    std::vector<std::string> scanned;
    IgnoreRules leftOut;
    addIgnoreFile(files, platform::childName(folder, kIgnoreFileName), leftOut);
    leftOut.addRules(alsoLeftOut);
    TitleFeeder feeder(files, scanned, titleWorkers(files));
    std::size_t folders = 0;
    collectFiles(
        files, folder, scanned,
        [&] {
            feeder.feed();
            if (progress.scanning) {
                progress.scanning(folders++);
            }
            return !stop.stop_requested();
        },
        leftOut);
    if (stop.stop_requested()) {
        return built;
    }
    if (scanned.empty()) {
        built.result = BuildResult::NoFiles;
        return built;
    }

    const std::size_t total = scanned.size();
    feeder.feed();
    std::vector<std::string> slots;
    if (TitleWorkers* workers = feeder.pool()) {
        if (!awaitWorkers(*workers, total, stop, progress)) {
            return built;
        }
        slots = workers->takeTitles();
    } else {
        slots.resize(total);
        if (!titleOnThisThread(files, scanned, slots, stop, progress)) {
            return built;
        }
    }
    if (progress.titling) {
        progress.titling(total, total);
    }

    std::vector<std::string> titles;
    std::vector<std::string> paths;
    for (std::size_t n = 0; n < total; ++n) {
        if (isAcceptedType(scanned[n])) {
            paths.push_back(std::move(scanned[n]));
            titles.push_back(std::move(slots[n]));
        }
    }
    const std::vector<std::size_t> order = orderByTitle(titles);
    built.paths = permuted(paths, order);
    built.titles = permuted(titles, order);
    built.result = BuildResult::Built;
    return built;
}

SavedCatalogue saveCatalogue(platform::FileSystem& files, const std::string& folder,
                             const std::vector<std::string>& titles,
                             const std::vector<std::string>& paths, const std::string& dataFolder) {
    const std::string base = platform::childName(folder, kCatalogueBaseName);
    try {
        saveCataloguePair(files, base, titles, paths);
        return {base + ".bookmark", false};
    } catch (const Error& error) {
        const int cause = error.systemError();
        if (dataFolder.empty() || (cause != EACCES && cause != EPERM && cause != EROFS)) {
            throw;
        }
        const std::exception_ptr refused = std::current_exception();
        try {
            const std::string kept =
                keptCatalogueFolder(dataFolder, files.realPath(folder).value_or(folder));
            const std::string keptBase = platform::childName(kept, kCatalogueBaseName);
            files.makeFolders(kept);
            saveScannedFolder(files, keptBase, folder);
            saveCataloguePair(files, keptBase, titles, paths);
            return {keptBase + ".bookmark", true};
        } catch (const Error&) {
            // Said as it always was: the folder the user chose can't be written.
            std::rethrow_exception(refused);
        }
    }
}

std::string keptElsewhereNote(const SavedCatalogue& saved) {
    return "The folder can't be written; the catalogue is kept in \xe2\x80\x9c" +
           deriveName(saved.bookmarkFile, ".path") + "\xe2\x80\x9d";
}

}  // namespace pelmaro
