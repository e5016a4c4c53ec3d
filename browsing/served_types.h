#pragma once

#include <string>
#include <string_view>

// The type a file of a page tree is served with.
namespace pelmaro::browsing {

// The Content-Type for the file `fileName` whose first bytes are `head` (`wholeFile`: `head` is
// all of it). A plain-text file names the encoding its title is decoded in, as the engine would
// otherwise guess one of its own: its byte-order mark's, else UTF-8 when the head is valid UTF-8,
// else windows-1252 ("notes.txt" holding "H\xC3\xA4ring" gives "text/plain;charset=utf-8").
// Every other type is the type table's alone: markup says its own encoding, and the engine reads
// it there.
std::string servedType(std::string_view fileName, std::string_view head, bool wholeFile);

// Whether servedType reads the head of `fileName`: only for plain text. For other files the head
// may be left empty.
bool typeNeedsHead(std::string_view fileName);

}  // namespace pelmaro::browsing
