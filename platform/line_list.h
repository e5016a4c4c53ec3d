#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/list_control.h"

// The line-list file: the stored form of the title, path and bookmark lists. Each item is written
// as its bytes followed by CR LF, with nothing else in the file.
namespace pelmaro {

// Splits `bytes` into lines. A line ends at CR LF, at a lone CR or at a lone LF ("a\n\rb" is "a",
// "", "b"); a last line without a line end counts, a line end at the very end adds no empty line;
// the first NUL ends the whole text.
std::vector<std::string> parseLineList(std::string_view bytes);
// Each item followed by CR LF; an empty list gives no bytes.
std::string formatLineList(const platform::TextList& items);

// Reads a line-list file; fails with "Cannot open file "%s". %s".
std::vector<std::string> readLineListFile(platform::FileSystem& files, const std::string& fileName);
// The same, read block by block into a compact list: a file of many lines costs about its own
// size. Only the first `keepAtMost` lines are kept; `lineCount` receives the number of lines in
// the whole file.
platform::TextList readLineListText(platform::FileSystem& files, const std::string& fileName,
                                    std::size_t keepAtMost, std::size_t& lineCount);
// Replaces the list's items with the file's lines, leaving nothing selected. The list is not
// touched when the file can't be read.
void loadList(platform::FileSystem& files, platform::ListControl& list,
              const std::string& fileName);
// Creates or replaces the file with the list's items; fails with "Cannot create file "%s". %s".
void saveList(platform::FileSystem& files, const platform::ListControl& list,
              const std::string& fileName);

// An entry reference, "<title>|<index>", by which bookmarks and search results point at a
// catalogue entry: makeEntryReference("Getting started", 12) is "Getting started|12".
std::string makeEntryReference(std::string_view title, int index);
// The index of a reference: the text after its last "|" (the whole text when it has none), read
// by readInteger. The title part is never parsed, so a title may itself contain "|".
int readEntryReference(std::string_view reference);
// A 32-bit signed integer: leading blanks, an optional sign, then decimal digits or hexadecimal
// digits after "$", "x", "X", "0x" or "0X", and nothing after them. Fails with
// "'%s' is not a valid integer value".
int readInteger(std::string_view text);

}  // namespace pelmaro
