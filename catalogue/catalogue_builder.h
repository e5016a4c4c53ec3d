#pragma once

#include <cstddef>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
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
BuiltCatalogue buildCatalogue(platform::FileSystem& files, const std::string& folder,
                              std::stop_token stop, const BuildProgress& progress = {});

// Stores a catalogue in `folder` as "pelmaropath.title" and "pelmaropath.path", the pair
// replaced whole or not at all (saveCataloguePair); returns the name of its bookmark file,
// folder + "/pelmaropath.bookmark". Fails with "Cannot create file "%s". %s".
std::string saveCatalogue(platform::FileSystem& files, const std::string& folder,
                          const std::vector<std::string>& titles,
                          const std::vector<std::string>& paths);

}  // namespace pelmaro
