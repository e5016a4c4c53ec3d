#pragma once

#include <initializer_list>
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
// Whether the extension, lower-cased A to Z, is one of `extensions` (given in lower case):
// hasExtensionAmong("/d/INDEX.HTML", {".htm", ".html"}) is true.
bool hasExtensionAmong(std::string_view path, std::initializer_list<std::string_view> extensions);

}  // namespace pelmaro
