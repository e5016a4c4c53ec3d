#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/ignore_rules.h"
#include "platform/file_system.h"

namespace pelmaro {

// The size of a file of a folder listing (all 64 bits of it), empty when it can't be opened for
// reading: the listing's answer when it gave one, so that a scan costs no opening per file.
std::optional<std::int64_t> fileSizeOf(platform::FileSystem& files, const std::string& fileName,
                                       const platform::DirEntry& listed);

// Appends the full names of all non-empty regular files under `folder`, recursively: a folder's
// files before its subfolders, both in the order the system lists them, depth first. The folder
// keeps its case and gets a "/" appended unless it ends in one ("/d/Help" collects
// "/d/Help/Sub/Page.HTM"). Links to files are followed. Links to folders are followed when
// platform::mayEnterLinkedFolder allows it (those that stay inside the folder, and those into
// system documentation such as /usr/share/doc/bash); out of the folder, only folders and files
// everyone may read are taken. A folder already scanned in this scan (the same device and inode)
// is not scanned again, nor is any folder of the system's state (/proc, /sys, /dev:
// FileSystem::systemStateDevices), and names holding CR or LF are skipped.
// `beforeEachFolder`, when given, runs before each folder is listed; the scan stops when it
// returns false. What `leftOut` ignores (names below `folder`) is neither taken nor entered.
using FolderVisit = std::function<bool()>;
void collectFiles(platform::FileSystem& files, const std::string& folder,
                  std::vector<std::string>& list, const FolderVisit& beforeEachFolder = {},
                  const IgnoreRules& leftOut = {});

}  // namespace pelmaro
