#pragma once

#include <string>
#include <string_view>

#include "platform/byte_text.h"

// The parts of a file name, as the catalogue and its files use them.
namespace pelmaro {

// The part after the last "/" (the whole name when there is none).
std::string_view fileNameOf(std::string_view path);
// From the last "." of the file name on (".htm"); empty when the file name has no ".".
std::string_view extensionOf(std::string_view path);
// Replaces the extension with `newExtension`, or appends it when there is none:
// "/x/pelmaropath.bookmark" -> "/x/pelmaropath.path", "/a.b/notes" -> "/a.b/notes.path".
std::string deriveName(std::string_view path, std::string_view newExtension);
// A name given on a command line, as the folder picker and the open dialog would give it: a
// relative name is taken from `currentFolder` ("docs/./html" in "/home/me" is
// "/home/me/docs/html"). Only its "." parts and empty parts (doubled or trailing "/") go; ".."
// stays, since resolving it past a link would name another file. An absolute name stays as it is.
std::string absoluteName(std::string_view name, std::string_view currentFolder);

}  // namespace pelmaro
