#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/byte_text.h"
#include "platform/file_system.h"

// The page-text loader: turns a file into the lines of its text, for titles and for the full-text
// search. Bytes in, bytes out: nothing is converted.
namespace pelmaro {

// The text of an RTF document into `text`, paragraphs separated by "\n": "\'e9" gives the byte
// 0xE9, "\u233?" the UTF-8 bytes of U+00E9, and font, colour and style tables, pictures and other
// hidden groups give nothing. False, with `text` empty, when `rtf` is not valid RTF (it does not
// start with "{\rtf", its outer group never closes, a "\'" is not followed by two hex digits, or
// its groups nest more than 1024 deep); the caller then reads the file as plain text.
bool rtfToText(std::string_view rtf, std::string& text);
// The same for the first bytes of a longer document: where they end, the document counts as
// ended.
bool rtfStartToText(std::string_view rtfStart, std::string& text);

enum class RtfStream {
    Text,     // valid RTF: all of its text went to the sink
    NotRtf,   // not valid RTF (as rtfToText): read the file as plain text; the sink may have had
              // some text
    Stopped,  // `keepGoing` said stop
};
// Reads an RTF document from `file`, whose first bytes `start` the caller has read already, and
// hands its text to `sink` in pieces as it goes, holding no more than a block of either.
// `keepGoing`, when given, runs after every few megabytes. Fails as the file's reads do.
RtfStream streamRtfText(platform::InputFile& file, std::string_view start,
                        const std::function<void(std::string_view)>& sink,
                        const std::function<bool()>& keepGoing = {});

// The page lines of `bytes`: RTF when it starts as RTF and parses, plain text otherwise. Plain text
// ends at the first NUL; a line ends at CR LF, a lone CR or a lone LF; lines are not wrapped; an
// empty last line is not counted, so empty input has no lines.
std::vector<std::string> pageLines(std::string_view bytes);

// Reads the file and returns its page lines; fails with "Cannot open file "%s". %s".
std::vector<std::string> loadPageLines(platform::FileSystem& files, const std::string& fileName);

// All lines concatenated with no separator: the text with its line breaks removed.
std::string joinedText(const std::vector<std::string>& lines);

}  // namespace pelmaro
