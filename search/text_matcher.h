#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

// Byte-wise substring search that ignores the case of A-Z only ("Setup" finds "SETUP", but "É"
// never finds "é"), shared by the title search, the full-text search and pelmaro-cli.
namespace pelmaro {

// A search text prepared once and matched against many texts.
class FoldedPattern {
public:
    explicit FoldedPattern(std::string_view text);

    bool empty() const { return folded_.empty(); }
    // The text with A-Z lower-cased.
    const std::string& folded() const { return folded_; }

    // Whether `text` contains the pattern as a contiguous run of bytes; an empty pattern is never
    // found.
    bool foundIn(std::string_view text) const;

    // Where the scan looks first: the pattern position whose byte is expected to be rarest in
    // documentation text ("x" in "index"), so that few places need a full comparison.
    std::size_t anchor() const { return anchor_; }

private:
    std::string folded_;
    std::size_t anchor_ = 0;
};

// Searches files for a text the way the full-text search defines it: the file's page text with
// its line breaks removed contains the text, A-Z case ignored. A plain file's page text is its
// bytes up to the first NUL; CR and LF are skipped as the bytes stream past, so "set" + CR LF +
// "up" contains "setup". A file that starts as RTF is read through the page-text loader instead.
//
// A file is read once, in blocks of `blockSize` bytes into one buffer that the scanner keeps from
// file to file; nothing else of the file is held, and a match may span any number of blocks and
// line breaks.
//
// Pages in other encodings are found too, where the search text (UTF-8 as typed) stands in the
// page in the page's own encoding:
//  - a markup page (isTextType, not ".txt") whose head declares an encoding that keeps ASCII
//    (<meta charset>, http-equiv content type, XML declaration: sniffPageEncoding on the first
//    kPageHeadSize bytes of the first block) is also searched, in the same pass, for the search
//    text converted to that encoding with iconv, matched by the same byte rule (A-Z case ignored,
//    line breaks skipped). Only a text with non-ASCII characters is converted, since ASCII is the
//    same in all these encodings: for an ASCII text nothing changes, and no head is examined;
//  - a page starting with a UTF-16 byte-order mark, or one declaring an encoding with shift
//    states (ISO-2022-JP, HZ, UTF-7), is read whole, decoded to UTF-8, and its text searched for
//    the search text as typed.
// A converted text is worked out once per encoding and kept for the following files.
class FileTextScanner {
public:
    static constexpr std::size_t kDefaultBlockSize = 64 * 1024;
    // How much of a single file is read between two calls of `keepGoing`: a few milliseconds of
    // work, so that a stop request is seen at once even inside a huge file.
    static constexpr std::size_t kBytesBetweenPauses = 4 * 1024 * 1024;

    enum class Outcome { Found, NotFound, Abandoned };

    explicit FileTextScanner(std::string_view text, std::size_t blockSize = kDefaultBlockSize);

    const FoldedPattern& pattern() const { return pattern_; }

    // Reads the file and reports whether its text contains the pattern. `keepGoing`, when given,
    // runs after every kBytesBetweenPauses bytes of one file; when it returns false the file is
    // left unread and the answer is Abandoned. Fails with "Cannot open file "%s". %s" and on read
    // errors.
    Outcome scan(platform::FileSystem& files, const std::string& fileName,
                 const std::function<bool()>& keepGoing = {});

    // The same test on bytes already in memory, cut into blocks as a file would be (for tests and
    // for callers that hold the text).
    bool plainTextContains(std::string_view bytes);

private:
    // The search text in another encoding, or none when it has no form there (or the same bytes).
    const FoldedPattern* convertedPattern(const std::string& encoding);
    // Reads the rest of the file (unless `fileEnded`) after the `got` bytes at block() and
    // searches its text decoded from `encoding`, after `skip` bytes of byte-order mark;
    // `keepGoing` as for scan().
    Outcome decodedTextContains(platform::InputFile& file, std::size_t got, bool fileEnded,
                                const std::string& encoding, std::size_t skip,
                                const std::function<bool()>& keepGoing);
    // Searches `alternative` (may be null) beside the pattern in the current file.
    void useAlternative(const FoldedPattern* alternative);
    void startText();
    char* block() { return buffer_.data() + pad_; }
    // Searches the carried tail of the previous blocks plus `size` fresh bytes at block(). Sets
    // textEnded_ when the block holds a NUL.
    bool searchBlock(std::size_t size);
    // Keeps the last pattern-length-minus-one text bytes before block(), for a match that spans
    // into the next block.
    void carryTail(const char* begin, const char* end);

    FoldedPattern pattern_;
    std::string text_;  // the search text as given
    bool textIsAscii_;  // then it reads the same in every encoding that keeps ASCII
    // The pattern in the current file's declared encoding, searched beside pattern_; null when
    // there is none.
    const FoldedPattern* alternative_ = nullptr;
    std::map<std::string, std::optional<FoldedPattern>, std::less<>> converted_;
    std::size_t blockSize_;
    // The carried tail never exceeds this many bytes: enough for the search text in any encoding
    // that keeps ASCII (at most four bytes a character).
    std::size_t pad_;
    // Texts that hold CR, LF or NUL can't occur in a text whose line breaks are removed and that
    // ends at its first NUL.
    bool plainTextCanMatch_;
    std::vector<char> buffer_;
    // How many bytes a block carries into the next: one less than the longest pattern searched
    // in the current file (never more than pad_).
    std::size_t carry_;
    std::string tail_;
    std::size_t carried_ = 0;
    bool textEnded_ = false;
};

}  // namespace pelmaro
