#pragma once

#include <string>

#include "platform/file_system.h"

namespace pelmaro {

// The title the catalogue shows for a page: its <title> element, the first line of a text file,
// or the file name up to its first ".".
std::string ExtractPageTitle(platform::FileSystem& files, const std::string& fileName);

}  // namespace pelmaro
