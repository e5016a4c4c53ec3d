#include "catalogue/catalogue_builder.h"

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

std::vector<std::string> permuted(std::vector<std::string>& items,
                                  const std::vector<std::size_t>& order) {
    std::vector<std::string> out;
    out.reserve(items.size());
    for (const std::size_t i : order) {
        out.push_back(std::move(items[i]));
    }
    return out;
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
    std::vector<std::string> titles;
    std::vector<std::string> paths;
    const std::size_t total = scannedFiles.size();
    for (std::size_t n = 0; n < total; ++n) {
        if (n % kNamesBetweenPauses == 0 || n + 1 == total) {
            window.processPendingMessages();
            if (window.closeRequested()) {
                return BuildResult::Stopped;
            }
            window.setStatus("loading " + std::to_string(n));
            if (progress) {
                progress(n, total);
            }
        }
        const std::string& name = scannedFiles[n];
        if (!isAcceptedType(name)) {
            continue;
        }
        std::string title;
        try {
            title = ExtractPageTitle(files, name);
        } catch (const Error&) {
            // Removed or locked since the scan: the page keeps a title, and the lists stay
            // line for line parallel.
            title = defaultPageTitle(name);
        }
        paths.push_back(name);
        titles.push_back(std::move(title));
    }
    if (progress) {
        progress(total, total);
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
