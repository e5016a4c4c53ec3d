#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// Byte-string helpers shared by the catalogue, the searches and the bookmarks. All text is bytes;
// case rules touch only the ASCII letters, wherever they stand (also inside multi-byte characters).
namespace pelmaro {

// 'A'..'Z' become 'a'..'z'; every other byte stays.
std::string lowerAZ(std::string_view text);
// 'a'..'z' become 'A'..'Z'; every other byte stays.
std::string upperAZ(std::string_view text);
// Removes every leading and trailing byte from 0x00 to 0x20.
std::string_view trimmed(std::string_view text);

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

// The longest start of `text` of at most `maxBytes` bytes that doesn't end inside a UTF-8
// character: a cut never splits one (bytes that aren't UTF-8 are cut anywhere).
std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes);

// Appends the UTF-8 bytes of the character `c` (at most U+10FFFF).
void appendUtf8(std::string& out, char32_t c);

}  // namespace pelmaro
