#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue.h"
#include "platform/file_system.h"
#include "platform/window.h"

namespace pelmaro {

// The Path command (F2): picks a folder, scans it, titles and orders the catalogue, and offers to
// store it as "pelmaropath.title" and "pelmaropath.path" in that folder.
class CatalogueBuilder {
public:
    CatalogueBuilder(Catalogue catalogue, CurrentCatalogue& current, platform::Window& window,
                     platform::Dialogs& dialogs, platform::FileSystem& files,
                     platform::LongCommandGate& gate);

    // Does nothing while another long command runs.
    void Path1Click();

    // The names the last scan collected.
    const std::vector<std::string>& ScannedFiles() const { return scannedFiles_; }

private:
    Catalogue catalogue_;
    CurrentCatalogue& current_;
    platform::Window& window_;
    platform::Dialogs& dialogs_;
    platform::FileSystem& files_;
    platform::LongCommandGate& gate_;
    std::vector<std::string> scannedFiles_;
};

// A scanned file enters the catalogue when its extension, in any case, is one of ".htm",
// ".html", ".shtm", ".gif", ".jpg", ".bmp", ".shtml", ".asp", ".cgi", ".xml" or ".txt".
bool isAcceptedType(std::string_view fileName);

enum class BuildResult {
    Built,    // the catalogue holds the folder's pages, ordered
    NoFiles,  // the folder holds no non-empty file; the catalogue is unchanged
    Stopped,  // the window is closing; nothing more was done
};

// How far titling has come: `done` of the `total` scanned names.
using BuildProgress = std::function<void(std::size_t done, std::size_t total)>;

// The build that the Path command and pelmaro-cli share, from the scan to the ordered catalogue:
// captions "please wait...", then "no files" or "loading N" as titling goes on, and
// "sorting...M total is M" once the M entries stand in the lists in title order. The lists are
// cleared when titling starts and filled in one step at the end. A page that can't be read keeps
// its default title. `scannedFiles` receives the scan.
BuildResult buildCatalogue(Catalogue catalogue, platform::FileSystem& files,
                           platform::Window& window, const std::string& folder,
                           std::vector<std::string>& scannedFiles,
                           const BuildProgress& progress = {});

// Stores the catalogue in `folder` as "pelmaropath.title" and "pelmaropath.path", the pair
// replaced whole or not at all (saveCataloguePair); returns the name of its bookmark file,
// folder + "/pelmaropath.bookmark". Fails with "Cannot create file "%s". %s".
std::string saveCatalogue(Catalogue catalogue, platform::FileSystem& files,
                          const std::string& folder);

}  // namespace pelmaro
