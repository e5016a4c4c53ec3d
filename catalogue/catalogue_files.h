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

}  // namespace pelmaro
