#pragma once

#include <string>
#include <string_view>

namespace pelmaro {

// `text` (UTF-8) with its HTML character references replaced as an HTML parser replaces them in
// text such as a <title>: named references ("&amp;", "&eacute;", and the legacy ones an HTML
// parser also takes without ";", such as "&copy" — the longest known name wins, so "&notit;"
// is "¬it;"), decimal ("&#8212;") and hexadecimal ("&#x2014;") ones, with or without their ";".
// A numeric reference to 0, to a surrogate or beyond U+10FFFF gives U+FFFD, and one to 0x80 to
// 0x9F the windows-1252 character of that byte ("&#150;" is "–"). Anything else, such as "&",
// "&#;" or "&unknown;", stays as it is.
std::string decodeCharacterReferences(std::string_view text);

}  // namespace pelmaro
