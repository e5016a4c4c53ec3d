#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>

#include "page/text_encoding.h"
#include "platform/file_system.h"

// Titles as people read them. The catalogue stores a title as the bytes the page holds
// ("String (Java SE 17 &amp; JDK 17)", or GBK bytes); the lists, tooltips and status line show it
// decoded, as UTF-8. Decoding never changes what is stored.
namespace pelmaro {

// What an entry's stored title is made of.
enum class TitleKind {
    Markup,    // the <title> of a page of a markup type (isTextType and not ".txt")
    Text,      // the first line of a ".txt" file
    FileName,  // the file name up to its first "." (images, and pages without a title)
};

// The kind of `storedTitle` for the file `path`: FileName for files not of a text type, and for a
// title that is the file's default title (defaultPageTitle), which a page gets when it has none.
TitleKind titleKindOf(std::string_view storedTitle, std::string_view path);

// Whether the shown text of `storedTitle` depends on the page's head: false for a FileName title
// and for a title of ASCII bytes only (references read the same in every encoding that keeps
// ASCII), except a markup page's default title (the page may be UTF-16, whose title the stored
// bytes can't hold). Free; lets a caller decode most titles without touching a file.
bool titleNeedsHead(std::string_view storedTitle, std::string_view path);

// The shown text of title bytes once the page's encoding is known (`encoding` as
// sniffPageEncoding gives it; empty name when the page declares none):
//  - Markup: the bytes in the declared encoding, else as UTF-8 when they are valid UTF-8, else as
//    windows-1252 (a stored title is never cut, so "caf\xE9" is "café", not a cut sequence); then
//    its character references (decodeCharacterReferences); then ASCII whitespace stripped and
//    collapsed as in document.title.
//  - Text: the same without references, a leading byte-order mark dropped.
//  - FileName: UTF-8 when valid, else windows-1252; nothing else changes.
// Bytes an encoding can't read become U+FFFD; none is dropped. `converter`, when given, is an
// open conversion from encoding.name to UTF-8 to use instead of opening one. Always valid UTF-8.
std::string shownTitleText(std::string_view storedTitle, TitleKind kind,
                           const PageEncoding& encoding, Converter* converter = nullptr);

// Reads the first kPageHeadSize bytes of a file (fewer when it is shorter); empty when it can't be
// read.
std::string readPageHead(platform::FileSystem& files, const std::string& path);

// The shown text of an entry's title: reads at most the page's head, and only when
// titleNeedsHead. A UTF-16 page (byte-order mark) can't have its title stored as bytes: its
// shown title is the <title> (markup) or first line (text) of its decoded head. A page that
// can't be read is decoded without a declared encoding. An empty result becomes the shown file
// name. Opens its own iconv conversion; TitleDecoder keeps them.
std::string decodeShownTitle(platform::FileSystem& files, std::string_view storedTitle,
                             const std::string& path);

// Decodes titles for a window that shows a few dozen rows at a time: each entry's shown text is
// worked out the first time it is asked for and then kept, and iconv conversions are opened once.
// Cost per first call: about a microsecond for a title that doesn't need the head, one open and
// one read of at most kPageHeadSize bytes otherwise; a cached call is a hash lookup. One thread
// only (one decoder per thread otherwise; decode reads files through `files`).
class TitleDecoder {
public:
    explicit TitleDecoder(platform::FileSystem& files);

    // The shown text of entry `entry`, whose stored title and path are given; cached by entry.
    // The reference stays valid until clear() or the decoder's end.
    const std::string& shown(int entry, std::string_view storedTitle, const std::string& path);
    // The cached shown text of `entry`, or null when it has not been decoded yet.
    const std::string* cached(int entry) const;
    // The same as decodeShownTitle, without the cache, with this decoder's conversions.
    std::string decode(std::string_view storedTitle, const std::string& path);

    // Forgets every entry: the catalogue changed.
    void clear() { cache_.clear(); }
    std::size_t cachedCount() const { return cache_.size(); }
    // How many page heads this decoder has read, for benchmarks.
    std::size_t headsRead() const { return headsRead_; }

private:
    Converter* converterFor(const std::string& encoding);

    platform::FileSystem& files_;
    std::unordered_map<int, std::string> cache_;
    std::map<std::string, Converter, std::less<>> converters_;
    std::size_t headsRead_ = 0;
};

}  // namespace pelmaro
