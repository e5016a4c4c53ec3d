#pragma once

#include <cstddef>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/ignore_rules.h"
#include "platform/file_system.h"

namespace pelmaro {

enum class BuildResult {
    Built,    // the titles and paths of the folder's pages, in title order
    NoFiles,  // the folder holds no non-empty file
    Stopped,  // stopped before the end; nothing was built
};

struct BuiltCatalogue {
    BuildResult result = BuildResult::Stopped;
    std::vector<std::string> titles;
    std::vector<std::string> paths;
};

// What a build tells as it goes, on the thread that runs it; either may be empty.
struct BuildProgress {
    // Before each folder is listed, with the number listed so far.
    std::function<void(std::size_t folders)> scanning;
    // `done` of the `total` scanned names are titled: from time to time while titling, at most
    // total - 1, and once total of total at the end.
    std::function<void(std::size_t done, std::size_t total)> titling;
};

// The build that the window and pelmaro-cli share: scans `folder`, titles every accepted page and
// orders the catalogue by title. Runs on any thread; pages are read on worker threads too when
// the file system allows it. A page that can't be read keeps its default title. Stops soon after
// `stop` is requested.
// What lies under the folder's ".pelmaroignore" (kIgnoreFileName) is left out, and so is what
// `alsoLeftOut` ignores (patterns from the command line, the ignore file kept beside a catalogue
// in the data folder: ignoreFileRules).
BuiltCatalogue buildCatalogue(platform::FileSystem& files, const std::string& folder,
                              std::stop_token stop, const BuildProgress& progress = {},
                              const IgnoreRules& alsoLeftOut = {});

// Adds the patterns of the ignore file `fileName` to `rules`; a file that isn't there adds none,
// and only its first MiB is read.
void addIgnoreFile(platform::FileSystem& files, const std::string& fileName, IgnoreRules& rules);

// The ignore file beside the catalogue of `folder` kept in `dataFolder` (a folder that can't be
// written keeps its catalogue there, and what it leaves out).
std::string keptIgnoreFile(platform::FileSystem& files, const std::string& folder,
                           const std::string& dataFolder);

// Leaves `relativeFolder` ("api/old", below `folder`) out of the folder's builds: a line of its
// own, marked as the reader's, in the folder's ignore file, or in the kept one when the folder
// can't be written. Fails as FileSystem::writeFile does when neither can be.
void leaveFolderOut(platform::FileSystem& files, const std::string& folder,
                    const std::string& relativeFolder, const std::string& dataFolder);
// Takes back every folder leaveFolderOut left out (the lines others wrote stay); whether there
// was any.
bool bringBackFoldersLeftOut(platform::FileSystem& files, const std::string& folder,
                             const std::string& dataFolder);

// Where saveCatalogue stored a catalogue.
struct SavedCatalogue {
    // Its bookmark file, the name that the session and the bookmarks know it by:
    // "/x/pelmaropath.bookmark".
    std::string bookmarkFile;
    // The scanned folder could not be written, so the catalogue went to the data folder.
    bool keptElsewhere = false;
};

// Stores a catalogue in `folder` as "pelmaropath.title" and "pelmaropath.path", the pair
// replaced whole or not at all (saveCataloguePair). When the folder may not be written (its
// first write fails with EACCES, EPERM or EROFS: asked by trying, since root may write where the
// permission bits say otherwise), the pair goes to keptCatalogueFolder(dataFolder, the folder's
// real name) instead, with a ".folder" file naming `folder`; the same folder built again goes
// there again and finds its bookmarks. Fails with "Cannot create file "%s". %s" naming the file
// in `folder` when that can't be written and the data folder can't be either.
SavedCatalogue saveCatalogue(platform::FileSystem& files, const std::string& folder,
                             const std::vector<std::string>& titles,
                             const std::vector<std::string>& paths,
                             const std::string& dataFolder = {});

// What the window and pelmaro-cli say once when a catalogue was kept in the data folder:
// "The folder can't be written; the catalogue is kept in “/home/me/.local/share/pelmaro/...”".
std::string keptElsewhereNote(const SavedCatalogue& saved);

}  // namespace pelmaro
