#pragma once

#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace pelmaro {

// A title is cut to this many bytes, at a UTF-8 character's boundary: a hostile page must not
// make the catalogue huge.
inline constexpr std::size_t kTitleLimit = 4096;
// A title is looked for in this many bytes at the start of a page; what lies beyond is not read.
inline constexpr std::size_t kTitleSearchLimit = 1024 * 1024;

// The title the catalogue shows for a page: its <title> element, the first line of a text file,
// or the file name up to its first ".", cut to kTitleLimit. Only files of a text type are read,
// and only their first kTitleSearchLimit bytes. Fails with "Cannot open file "%s". %s" (or a
// read error) when a text-type file can't be read.
std::string extractPageTitle(platform::FileSystem& files, const std::string& fileName);

// The title of a page that has no better one: its file name up to its first "."
// ("/d/notes.old.txt" -> "notes"); empty when the name begins with "." or has none.
std::string defaultPageTitle(std::string_view fileName);

}  // namespace pelmaro
