#include "catalogue/catalogue_files.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "platform/error.h"
#include "platform/file_names.h"
#include "platform/line_list.h"

namespace pelmaro {
namespace {

// A marker holds four short names, a ".folder" file one name; anything longer is not one.
constexpr std::int64_t kLargestMarker = 64 * 1024;

// Folder names are at most 255 bytes on the common file systems.
constexpr std::size_t kLongestKeptName = 200;
constexpr std::size_t kKeptNameStart = 180;

struct PairNames {
    std::string folder;
    std::string titleFile;
    std::string pathFile;
    std::string marker;
};

PairNames namesOf(const std::string& pathFile) {
    return {platform::folderOf(pathFile), deriveName(pathFile, ".title"),
            deriveName(pathFile, ".path"), savingMarkerOf(pathFile)};
}

// The folder's file `name` names (a name without "/"), or empty when it can't be one.
std::string inFolder(const PairNames& names, const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        return {};
    }
    return platform::childName(names.folder, name);
}

// Cleaning up after a save: what can't be removed now is removed by the next save or load.
void removeQuietly(platform::FileSystem& files, const std::string& fileName) {
    try {
        files.removeFile(fileName);
    } catch (const Error&) {
    }
}

void removeTemporaries(platform::FileSystem& files, const PairNames& names) {
    for (const std::string* target : {&names.titleFile, &names.pathFile, &names.marker}) {
        for (const std::string& temporary : files.temporariesOf(*target)) {
            removeQuietly(files, temporary);
        }
    }
}

// Finishes the renames of a save that was killed after writing its marker, or undoes a save
// killed before; the folder is locked. Fails when a rename that the marker asks for can't be
// done: the pair may then be torn, and must not be loaded.
void recover(platform::FileSystem& files, const PairNames& names) {
    if (const std::optional<std::int64_t> markerSize = files.fileSize(names.marker)) {
        // Written whole or not at all (writeFile): a marker that lists something else is not ours.
        const std::vector<std::string> listed =
            *markerSize <= kLargestMarker
                ? parseLineList(platform::readWholeFile(files, names.marker))
                : std::vector<std::string>();
        if (listed.size() == 4) {
            bool renamed = false;
            for (std::size_t i = 0; i < listed.size(); i += 2) {
                const std::string temporary = inFolder(names, listed[i]);
                const std::string target = inFolder(names, listed[i + 1]);
                const auto ours = files.temporariesOf(target);
                if ((target == names.titleFile || target == names.pathFile) &&
                    std::find(ours.begin(), ours.end(), temporary) != ours.end()) {
                    // Complete and on the disk before the marker was: take it.
                    files.renameFile(temporary, target);
                    renamed = true;
                }
            }
            if (renamed) {
                files.syncFolder(names.folder);
            }
        }
        removeQuietly(files, names.marker);
    }
    removeTemporaries(files, names);
}

}  // namespace

std::string savingMarkerOf(const std::string& pathFile) {
    return deriveName(pathFile, ".saving");
}

void saveCataloguePair(platform::FileSystem& files, const std::string& base,
                       const platform::TextList& titles, const platform::TextList& paths) {
    const PairNames names = namesOf(base + ".path");
    const auto lock = files.lockFolder(names.folder);
    recover(files, names);

    const std::string titleTemporary =
        files.writeTemporary(names.titleFile, formatLineList(titles));
    std::string pathTemporary;
    try {
        pathTemporary = files.writeTemporary(names.pathFile, formatLineList(paths));
        // From here on the new pair is complete on the disk: the marker makes it the one that
        // counts, whatever happens before the renames are done.
        files.writeFile(names.marker, formatLineList({std::string(fileNameOf(titleTemporary)),
                                                      std::string(fileNameOf(names.titleFile)),
                                                      std::string(fileNameOf(pathTemporary)),
                                                      std::string(fileNameOf(names.pathFile))}));
    } catch (const Error&) {
        removeQuietly(files, titleTemporary);
        if (!pathTemporary.empty()) {
            removeQuietly(files, pathTemporary);
        }
        throw;
    }
    try {
        files.renameFile(titleTemporary, names.titleFile);
    } catch (const Error&) {
        // Nothing renamed yet: the old pair stands.
        removeQuietly(files, titleTemporary);
        removeQuietly(files, pathTemporary);
        removeQuietly(files, names.marker);
        throw;
    }
    // A failure from here on leaves the marker: the next load or save finishes the renames, or
    // refuses the pair while it can't.
    files.renameFile(pathTemporary, names.pathFile);
    files.syncFolder(names.folder);
    removeQuietly(files, names.marker);
}

std::string keptCatalogueFolder(const std::string& dataFolder, const std::string& realFolder) {
    std::string name;
    for (const char c : realFolder) {
        if (c == '/') {
            name += "%2F";
        } else if (c == '%') {
            name += "%25";
        } else {
            name += c;
        }
    }
    if (name.size() > kLongestKeptName) {
        std::string_view start = utf8Prefix(name, kKeptNameStart);
        // Never half an escape: "...%2" would read as another name.
        const std::size_t percent = start.rfind('%');
        if (percent != std::string_view::npos && start.size() - percent < 3) {
            start = start.substr(0, percent);
        }
        std::uint64_t hash = 0xcbf29ce484222325;  // 64-bit FNV-1a
        for (const char c : realFolder) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3;
        }
        char digits[17];
        std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
        name = std::string(start) + "%H" + digits;
    }
    return platform::childName(dataFolder, name);
}

void saveScannedFolder(platform::FileSystem& files, const std::string& base,
                       const std::string& folder) {
    files.writeFile(base + ".folder", formatLineList({folder}));
}

std::string scannedFolderOf(platform::FileSystem& files, const std::string& pathFile) {
    const std::string folderFile = deriveName(pathFile, ".folder");
    try {
        if (const auto size = files.fileSize(folderFile); size && *size <= kLargestMarker) {
            const std::vector<std::string> lines =
                parseLineList(platform::readWholeFile(files, folderFile));
            if (lines.size() == 1 && !lines[0].empty() && lines[0].front() == '/') {
                return lines[0];
            }
        }
    } catch (const Error&) {
        // Unreadable: the catalogue is shown as one of the folder it lies in, as any other.
    }
    return platform::folderOf(pathFile);
}

StoredCatalogue loadCataloguePair(platform::FileSystem& files, const std::string& titleFile,
                                  const std::string& pathFile) {
    const PairNames names = namesOf(pathFile);
    const auto lock = files.lockFolder(names.folder);
    recover(files, names);
    StoredCatalogue lines;
    std::size_t pathCount = 0;
    std::size_t titleCount = 0;
    lines.paths =
        readLineListText(files, pathFile, std::numeric_limits<std::size_t>::max(), pathCount);
    // Titles beyond the paths are only counted: a title file of millions of lines beside a
    // short path file costs nothing.
    lines.titles = readLineListText(files, titleFile, pathCount, titleCount);
    if (titleCount != pathCount) {
        throw Error("The catalogue files \"" + titleFile + "\" and \"" + pathFile +
                    "\" do not match: " + std::to_string(titleCount) + " titles, " +
                    std::to_string(pathCount) + " paths");
    }
    return lines;
}

}  // namespace pelmaro
