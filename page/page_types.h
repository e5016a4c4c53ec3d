#pragma once

#include <string_view>

// What the reader makes of a file by its extension, in one table: which files enter a catalogue,
// which are read for their title, and the type a page is served with.
namespace pelmaro {

// A scanned file enters the catalogue when its extension, in any case, is one of ".htm",
// ".html", ".shtm", ".gif", ".jpg", ".bmp", ".shtml", ".asp", ".cgi", ".xml" or ".txt".
bool isAcceptedType(std::string_view fileName);

// Which kind of text a catalogued file holds, by its extension in any case.
enum class TextKind {
    None,    // the images, and every type that is not catalogued
    Plain,   // ".txt": its first line is its title
    Markup,  // the HTML pages: a <title>, tags and character references
    Xml,     // ".xml": markup whose encoding may also be declared the XML way
};
TextKind textKindOf(std::string_view fileName);

// The catalogued types whose text gives their title: all but the images.
inline bool isTextType(std::string_view fileName) {
    return textKindOf(fileName) != TextKind::None;
}
// The types whose text is markup (HTML or XML), not plain text.
inline bool isMarkupType(std::string_view fileName) {
    const TextKind kind = textKindOf(fileName);
    return kind == TextKind::Markup || kind == TextKind::Xml;
}

// The type a local file is served with, by its extension in any case: "text/html" for ".htm" and
// ".asp", "image/gif" for ".gif", "application/octet-stream" when the extension is unknown.
const char* mimeTypeFor(std::string_view fileName);

}  // namespace pelmaro
