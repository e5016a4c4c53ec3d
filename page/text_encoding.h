#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Character encodings of pages: how a page says what its bytes mean, and turning those bytes into
// UTF-8 (and UTF-8 into them) with the system's iconv. Nothing here reads a file.
namespace pelmaro {

// Whether `bytes` are well-formed UTF-8 (no overlongs, no surrogates, nothing above U+10FFFF).
// With `allowCutEnd`, a sequence that is well-formed as far as it goes but cut by the end of
// `bytes` is allowed too.
bool isValidUtf8(std::string_view bytes, bool allowCutEnd = false);

// Appends `bytes` read as UTF-8, each ill-formed part (and a sequence cut by the end) as one
// U+FFFD, the way the WHATWG decoder does.
void appendUtf8Repaired(std::string& out, std::string_view bytes);

// The character windows-1252 gives the byte `byte`: 0x80 to 0x9F are the typographic characters
// of windows-1252 (0x80 is "€"; the five it leaves undefined stay U+0081, U+008D, U+008F,
// U+0090 and U+009D), every other byte is the character of the same number.
char32_t windows1252Char(unsigned char byte);

// Appends `bytes` read as windows-1252; every byte gives a character.
void appendWindows1252(std::string& out, std::string_view bytes);

// The encoding name iconv is to be given for an encoding label as a page writes it, following the
// WHATWG encoding labels where browsers read a label otherwise than its name says:
// "ISO-8859-1", "latin1", "us-ascii" and the like are windows-1252 ("CP1252"); "gb2312" and "gbk"
// are GB18030; "shift_jis" is CP932, "euc-kr" CP949, "big5" BIG5-HKSCS, "iso-8859-9"
// windows-1254, "tis-620" CP874; the UTF-8 labels give "UTF-8". Other labels go to iconv as they
// are (upper-cased). Empty for a label that can't be an encoding name (blank, too long, or holding
// other bytes than letters, digits and "-_.:()").
std::string encodingForLabel(std::string_view label);

// Whether `name` (as encodingForLabel gives it) keeps every ASCII byte as the same character and
// uses no shift states: bytes of ASCII text mean the same in it as in UTF-8, and the bytes of a
// text can be found in a page's bytes. False for UTF-16 and UTF-32, the ISO-2022 family, HZ and
// UTF-7.
bool isAsciiCompatible(std::string_view name);
// How many bytes each unit of an encoding's text takes: 2 for UTF-16 and UCS-2, 4 for UTF-32
// and UCS-4, 1 for the others. A unit that can't be read is passed over whole, so that those
// after it are read in step.
std::size_t codeUnitSize(std::string_view name);

// Where a page's encoding was learnt.
enum class EncodingSource { None, ByteOrderMark, MetaTag, XmlDeclaration };

struct PageEncoding {
    std::string name;  // as encodingForLabel gives it; empty when nothing was declared
    EncodingSource source = EncodingSource::None;
    std::size_t bomLength = 0;  // bytes of the byte-order mark at the start of the page
};

// How many bytes of a page's head are read to learn its encoding.
inline constexpr std::size_t kPageHeadSize = 4096;

// The encoding the first bytes of a page declare: a byte-order mark (UTF-8, UTF-16LE, UTF-16BE);
// else, for markup (`markup`), an XML declaration's encoding="..." at the very start, then a
// <meta charset="..."> or <meta http-equiv="Content-Type" content="...; charset=..."> found the
// way the HTML standard's prescan finds it (comments and other tags skipped, the first usable
// declaration wins; `xml` puts the XML declaration first, as XML readers do, otherwise the meta
// tag wins as in browsers). A declaration cut by the end of `head` counts for nothing. As in
// browsers, a meta tag's UTF-16 is read as UTF-8 and "x-user-defined" as windows-1252. Shortcuts
// for the common heads: none holding "charset" declares nothing by a meta tag, and one whose
// first "charset" (no comment before it) is "=utf-8" declares UTF-8. About 0.1 to 0.5
// microseconds for a usual head.
PageEncoding sniffPageEncoding(std::string_view head, bool markup, bool xml = false);

// One iconv conversion, opened once and used for many texts. Not copyable; movable.
class Converter {
public:
    enum class Direction { ToUtf8, FromUtf8 };

    Converter() = default;
    // Opens the conversion from `encoding` to UTF-8 (ToUtf8) or from UTF-8 to `encoding`; check
    // valid() afterwards.
    Converter(std::string_view encoding, Direction direction);
    ~Converter();
    Converter(Converter&& other) noexcept;
    Converter& operator=(Converter&& other) noexcept;
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Whether iconv knows the encoding.
    bool valid() const { return handle_ != nullptr; }

    // ToUtf8: appends `bytes` as UTF-8, each byte iconv can't read and a sequence cut by the end
    // of `bytes` as U+FFFD. FromUtf8: appends `bytes` (UTF-8) in the encoding; false, with `out`
    // as it was, when a character has no form in it. Starts from the initial shift state.
    bool convert(std::string_view bytes, std::string& out);

private:
    void* handle_ = nullptr;  // iconv_t
    Direction direction_ = Direction::ToUtf8;
    std::size_t unitSize_ = 1;  // of the encoding read (ToUtf8)
};

}  // namespace pelmaro
