#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "search/normalization.h"

// The text a reader sees on a page, in the one form that every search compares: UTF-8, NFC,
// simple case folding (search/case_fold.h), every run of white space (line breaks, tabs and
// no-break spaces included) one space, none at either end. "Chapter&nbsp;9" and "CHAPTER\n9"
// both read "chapter 9".
namespace pelmaro {

// How a file's bytes become shown text.
enum class ShownKind {
    Markup,     // the character data outside tags, comments and hidden elements (script, style)
    PlainText,  // every character (".txt" files, and the text of RTF documents)
    FileName,   // images: their bytes are not text; only their file name is searched
};

// By extension, as the page-type table types files: markup for text types other than ".txt".
ShownKind shownKindOf(std::string_view fileName);

// Folds characters into shown-text form, into text().
class ShownTextFolder {
public:
    // Whether letters are case-folded (the default); without it the text keeps its own letters,
    // composed and with its white space as in the folded form.
    void setFolding(bool fold) { fold_ = fold; }

    // What has become final so far; the caller may take it and clear it.
    std::string& text() { return out_; }

    void put(char32_t c);
    // put() for an ASCII character other than NUL, the bulk of most pages.
    void putAscii(char c) {
        char32_t released = 0;
        if (!composer_.putPlain(static_cast<unsigned char>(c), released)) {
            put(static_cast<unsigned char>(c));
        } else if (released < 0x80) {
            emitAscii(static_cast<char>(released));
        } else {
            emit(released);
        }
    }
    // putAscii() for each of `n` (> 0) ASCII characters other than NUL: the text between tags
    // of most pages, its white space collapsed and its letters folded in one pass. The bytes up
    // to `readable` (at least p + n) may be read, and play no part.
    void putAsciiText(const char* p, std::size_t n, const char* readable);
    // White space that can't be a character: the edge of a block such as <p> or <br>.
    void putBreak() { putAscii(' '); }
    // The text ends: what is held back for composition goes out; a trailing space never does.
    void finish();
    void reset();

private:
    void emit(char32_t c);
    void emitAscii(char c) {
        if (c == ' ' || (c >= '\t' && c <= '\r')) {
            spacePending_ = emittedAny_;
            return;
        }
        if (spacePending_) {
            out_.push_back(' ');
            spacePending_ = false;
        }
        emittedAny_ = true;
        out_.push_back(fold_ && c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c);
    }

    std::string out_;
    Composer composer_;
    std::vector<char32_t> composed_;
    bool spacePending_ = false;
    bool emittedAny_ = false;
    bool fold_ = true;
};

// The shown-text form of a UTF-8 text as typed (a search text, a decoded title). Bytes that are
// not UTF-8 read as windows-1252.
std::string foldShownText(std::string_view text);
// The same, appended to `out`; printable ASCII with single spaces (most titles) is only
// lower-cased.
void appendShownFolded(std::string& out, std::string_view text);

// Where the characters that fold to folded[foldedStart, foldedStart + foldedLength) lie in
// `written`, a shown text in its own letters (ShownTextProducer::Letters::AsWritten): folding
// changes some characters' lengths ("\u017F" LATIN SMALL LETTER LONG S, two bytes, folds to
// "s", one). False when `written` folds to less, or an offset falls inside a character's folded
// form.
bool writtenSpan(std::string_view written, std::size_t foldedStart, std::size_t foldedLength,
                 std::size_t& start, std::size_t& length);

// The elements whose content a page never shows, read as raw text up to their end tag: scripts
// and styles, and what stands in for a frame, a plugin or a script (the reader runs scripts, so a
// <noscript> is never shown; javadoc pages hold one in each).
inline constexpr std::string_view kHiddenTextTags[] = {"iframe", "noembed", "noframes", "noscript",
                                                       "script", "style",   "template"};
// Whether the element named `name` (lower case) is one of kHiddenTextTags.
bool hidesItsText(std::string_view name);

// Whether a character is white space to the shown text (ASCII, NEL, no-break and the other
// Unicode spaces, line and paragraph separators).
bool isShownSpace(char32_t c);

// Turns a file's bytes, given in pieces of any size, into shown-text form, holding no more than
// a page head (kPageHeadSize bytes) and a piece at a time.
//
// The encoding: a byte-order mark (UTF-8, UTF-16); for markup the declared one (<meta charset>,
// http-equiv, XML declaration, sniffPageEncoding on the head); otherwise UTF-8 when the head is
// UTF-8, windows-1252 when it is not. In UTF-8, a byte that is not part of a well-formed
// character reads as windows-1252 (pages that mix the two are common in old trees). A U+0000
// ends the text, as it ends the page text of the catalogue.
//
// Markup: text outside tags, comments, <!...> and <?...?> declarations, and the content of
// hidden elements (kHiddenTextTags); the <title> is included, attribute values are not. Block-level
// tags and <br> are white space, other tags are nothing ("<b>bo</b>ld" is "bold"). Character
// references are decoded as decodeCharacterReferences does.
class ShownTextProducer {
public:
    enum class Encoding {
        Detect,       // as above
        MixedUtf8,    // UTF-8, other bytes as windows-1252 (the text of RTF documents)
        Windows1252,  // every byte as windows-1252
    };
    enum class Letters {
        Folded,     // case-folded, as every search compares
        AsWritten,  // as the page writes them, for people to read
    };

    ShownTextProducer();
    ~ShownTextProducer();
    ShownTextProducer(const ShownTextProducer&) = delete;
    ShownTextProducer& operator=(const ShownTextProducer&) = delete;

    // Starts a new text; shown text is appended to `out` as it becomes final.
    void start(ShownKind kind, Encoding encoding = Encoding::Detect,
               Letters letters = Letters::Folded);
    void feed(std::string_view bytes, std::string& out);
    void finish(std::string& out);
    // A U+0000 has ended the text: further bytes change nothing.
    bool ended() const { return ended_; }

    // Has the next texts of markup note their resume points in `points` (cleared at each
    // start()): byte offsets, ascending and at least `spacing` apart, where a producer started
    // with resumeEncoding() on the bytes from there on makes the end of this same shown text
    // (before its finish(), a part of it). They stand where the text goes on after a tag, at a
    // byte of ASCII that is no '<' or '&': nothing before them plays a part in what comes
    // after. Null stops it.
    static constexpr std::size_t kResumeSpacing = 2048;
    void noteResumePoints(std::vector<std::uint32_t>* points,
                          std::size_t spacing = kResumeSpacing) {
        resumePoints_ = points;
        resumeSpacing_ = spacing;
    }
    // The encoding the text is read in once it is known, when it reads every ASCII byte as
    // itself: Encoding::Detect otherwise (another encoding, or not known yet).
    Encoding resumeEncoding() const;

private:
    enum class Decoder { None, MixedUtf8, Windows1252, Iconv };
    enum class State {
        Text,
        Reference,
        TagOpen,
        EndTagOpen,
        TagName,
        Attributes,
        AttributeValue,
        DeclarationOpen,
        Comment,
        BogusComment,
        RawText,
        RawTextEnd,
    };

    // Decodes the head once its encoding is known (the head is full, or the text ended).
    void decodeHead(bool last);
    // Picks the decoder for a page that starts with `head`; returns the length of its byte-order
    // mark.
    std::size_t chooseDecoder(std::string_view head);
    // Decodes `bytes`, which stand at offset `at` of the text's bytes.
    void decode(std::string_view bytes, bool last, std::uint64_t at);
    void character(char32_t c);
    // Takes the ASCII bytes from `p` on that need no character-by-character work in the current
    // state (text, attribute values, hidden elements, declarations); returns how many.
    std::size_t asciiRun(const char* p, const char* end);
    // Reads the tag that starts at p[0] == '<' in text whole, when it ends before `end` and
    // holds nothing that needs a character-by-character reading; returns where it ends, or
    // null with nothing read.
    const char* wholeTag(const char* p, const char* end);
    void markup(char32_t c);
    void endOfTag(std::string_view name, bool endTag);
    // The same for a name whose tagKey() is known.
    void endOfTag(std::string_view name, std::uint64_t key, bool endTag);
    void flushReference();
    void closeIconv();
    // Notes the byte at `p`, in the bytes being decoded, as a resume point when it is one.
    void maybeResumeAt(const char* p);

    ShownKind kind_ = ShownKind::PlainText;
    Encoding encoding_ = Encoding::Detect;
    Decoder decoder_ = Decoder::None;
    std::string head_;     // bytes kept until the encoding is known
    std::string pending_;  // the start of a character cut by the end of a piece
    void* iconv_ = nullptr;
    std::size_t iconvUnit_ = 1;  // bytes of a unit of its encoding (codeUnitSize)
    ShownTextFolder folder_;
    bool ended_ = false;

    State state_ = State::Text;
    std::string reference_;  // "&amp" so far
    std::string tagName_;    // lower-case, at most a few letters
    bool endTag_ = false;
    char32_t quote_ = 0;
    bool afterEquals_ = false;  // a quote here starts an attribute value
    int dashes_ = 0;
    std::string rawName_;  // the hidden element ("script", ...) while in its content
    std::size_t rawMatched_ = 0;

    std::vector<std::uint32_t>* resumePoints_ = nullptr;
    std::size_t resumeSpacing_ = kResumeSpacing;
    std::uint64_t fed_ = 0;  // bytes given to feed() so far
    // Where the bytes decode() has in hand start in the text: their start and its offset.
    const char* decoding_ = nullptr;
    std::uint64_t decodingAt_ = 0;
};

}  // namespace pelmaro
