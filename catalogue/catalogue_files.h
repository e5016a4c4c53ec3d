#pragma once

#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/text_list.h"

// The stored catalogue: a ".title" and a ".path" line-list file that hold entry i on line i of
// each, written and read as one unit.
//
// A save writes both new files under temporary names, then a marker file ("<base>.saving")
// naming them, then renames both over the old files, and removes the marker. Whoever loads or
// saves the pair next first finishes what a save killed half-way left: with the marker there,
// the renames that it names and that are not done yet are done; without it, temporary files are
// removed. So a crash or a failed write at any step leaves the complete old pair or the complete
// new one, and the files themselves keep their format.
namespace pelmaro {

// A stored catalogue as read from its files.
struct StoredCatalogue {
    platform::TextList titles;
    platform::TextList paths;
};

// Replaces base + ".title" and base + ".path" with the two lists. Fails with
// "Cannot create file "%s". %s" (or another Error of the file system), the old pair then
// standing; the folder is locked meanwhile.
void saveCataloguePair(platform::FileSystem& files, const std::string& base,
                       const platform::TextList& titles, const platform::TextList& paths);

// Reads a stored catalogue, paths first, after finishing or undoing a killed save of it. Fails
// with "Cannot open file "%s". %s" for a file that can't be read, and with
// "The catalogue files "%s" and "%s" do not match: %d titles, %d paths" when their line counts
// differ. Runs on any thread.
StoredCatalogue loadCataloguePair(platform::FileSystem& files, const std::string& titleFile,
                                  const std::string& pathFile);

// The marker a save of the pair whose path file is `pathFile` leaves while it renames.
std::string savingMarkerOf(const std::string& pathFile);

// The folder of the data folder that keeps the catalogue of a folder that can't be written, named
// after that folder's real name: "/usr/share/doc" -> dataFolder + "/%2Fusr%2Fshare%2Fdoc" ("/" is
// "%2F" and "%" is "%25", so two folders never share a name and it reads back). A name too long
// for one folder keeps its first 180 bytes and ends in "%H" and a 64-bit hash of the whole real
// name: no short name holds "%H".
std::string keptCatalogueFolder(const std::string& dataFolder, const std::string& realFolder);

// A catalogue kept away from the folder it lists has a third file, base + ".folder", that names
// that folder (one line), since its pages are shown as the tree of that folder. The pair stays
// as it always is. Fails as FileSystem::writeFile does.
void saveScannedFolder(platform::FileSystem& files, const std::string& base,
                       const std::string& folder);
// The folder a stored catalogue lists: the one its ".folder" file names, or else the one its
// files lie in ("/pelmaropath.path" -> "/"). Runs on any thread.
std::string scannedFolderOf(platform::FileSystem& files, const std::string& pathFile);

}  // namespace pelmaro
