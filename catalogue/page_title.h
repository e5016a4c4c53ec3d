#pragma once

#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace pelmaro {

// The title the catalogue shows for a page: its <title> element, the first line of a text file,
// or the file name up to its first ".". Only files of a text type are read. Fails with
// "Cannot open file "%s". %s" (or a read error) when a text-type file can't be read.
std::string extractPageTitle(platform::FileSystem& files, const std::string& fileName);

// The title of a page that has no better one: its file name up to its first "."
// ("/d/notes.old.txt" -> "notes"); empty when the name begins with "." or has none.
std::string defaultPageTitle(std::string_view fileName);

}  // namespace pelmaro
