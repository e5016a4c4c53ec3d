#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Byte-text helpers for every layer: all text is bytes, and the case rules touch only the ASCII
// letters, wherever they stand (also inside multi-byte characters).
namespace pelmaro {

// The ASCII classes, whatever the locale: a byte of a multi-byte character is in none of them.
constexpr bool isAsciiUpper(char c) {
    return c >= 'A' && c <= 'Z';
}
constexpr bool isAsciiLower(char c) {
    return c >= 'a' && c <= 'z';
}
constexpr bool isAsciiAlpha(char c) {
    return isAsciiUpper(c) || isAsciiLower(c);
}
constexpr bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}
constexpr bool isAsciiAlnum(char c) {
    return isAsciiAlpha(c) || isAsciiDigit(c);
}
// The blanks of HTML and of most text formats: space, tab, LF, FF and CR (no VT).
constexpr bool isAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

constexpr char lowerAZ(char c) {
    return isAsciiUpper(c) ? static_cast<char>(c + ('a' - 'A')) : c;
}
constexpr char upperAZ(char c) {
    return isAsciiLower(c) ? static_cast<char>(c - ('a' - 'A')) : c;
}
// 'A'..'Z' become 'a'..'z'; every other byte stays.
std::string lowerAZ(std::string_view text);
// 'a'..'z' become 'A'..'Z'; every other byte stays.
std::string upperAZ(std::string_view text);

// Whether the two are the same but for the case of ASCII letters: ("Content-Type",
// "content-type") yes, ("\xc3\xa9", "\xc3\x89") no.
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);
// Whether `text` starts with `prefix` but for the case of ASCII letters.
bool startsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);
// Where `needle` first stands in `text` at or after `from`, but for the case of ASCII letters;
// npos when nowhere. An empty needle stands at `from` (when from <= text.size()).
std::size_t findIgnoringAsciiCase(std::string_view text, std::string_view needle,
                                  std::size_t from = 0);

// Where the first CR, LF or NUL stands in `text` at or after `from`; npos when nowhere. Sixteen
// bytes at a time (eight without SSE2): catalogue files of a million lines go through it.
std::size_t findLineEnd(std::string_view text, std::size_t from = 0);

// Removes every leading and trailing byte from 0x00 to 0x20.
std::string_view trimmed(std::string_view text);

// The value of a hexadecimal digit in either case ('b' -> 11); -1 for any other byte.
constexpr int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = lowerAZ(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Appends the UTF-8 bytes of the character `c` (at most U+10FFFF).
void appendUtf8(std::string& out, char32_t c);
// Decodes the well-formed UTF-8 character at `text[pos]` into `c`: its length, or 0 when the bytes
// there are not one (overlong forms, surrogates and values beyond U+10FFFF included).
std::size_t decodeUtf8(std::string_view text, std::size_t pos, char32_t& c);
// The length of the well-formed UTF-8 character at the start of `bytes` (not empty), with
// `complete` true; or, with `complete` false, the length of its longest well-formed beginning,
// 0 when even the first byte is none ("\xe2\x82" cut by the end: 2; "\xe2\x28": 1; "\x80": 0).
// Decoders that replace bad bytes replace each such beginning once.
std::size_t utf8Sequence(std::string_view bytes, bool& complete);

// The longest start of `text` of at most `maxBytes` bytes that doesn't end inside a UTF-8
// character: a cut never splits one (bytes that aren't UTF-8 are cut anywhere).
std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes);

// Rich text starts "{\rtf", with any version number after it or none.
inline constexpr std::string_view kRtfSignature = "{\\rtf";
constexpr bool startsAsRtf(std::string_view start) {
    return start.substr(0, kRtfSignature.size()) == kRtfSignature;
}

// 82580 -> "82,580": a count as the status line and the notes show it.
std::string withThousands(std::size_t n);

}  // namespace pelmaro
