#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/window.h"

namespace pelmaro {

// The size of a file, or -1 when it can't be opened for reading.
std::int64_t FileSizeOf(platform::FileSystem& files, const std::string& fileName);

// Appends the full names of all non-empty files under `folder`, recursively: a folder's files
// before its subfolders, both in the order the system lists them. `window` (may be null) handles
// pending events once per folder.
void CollectFiles(platform::FileSystem& files, platform::Window* window, const std::string& folder,
                  std::vector<std::string>& list);

}  // namespace pelmaro
