#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Byte-text helpers for every layer: all text is bytes, and the case rules touch only the ASCII
// letters, wherever they stand (also inside multi-byte characters).
namespace pelmaro {

constexpr char lowerAZ(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}
constexpr char upperAZ(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
}
// 'A'..'Z' become 'a'..'z'; every other byte stays.
std::string lowerAZ(std::string_view text);
// 'a'..'z' become 'A'..'Z'; every other byte stays.
std::string upperAZ(std::string_view text);

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

// The longest start of `text` of at most `maxBytes` bytes that doesn't end inside a UTF-8
// character: a cut never splits one (bytes that aren't UTF-8 are cut anywhere).
std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes);

// Rich text starts "{\rtf", with any version number after it or none.
inline constexpr std::string_view kRtfSignature = "{\\rtf";
constexpr bool startsAsRtf(std::string_view start) {
    return start.substr(0, kRtfSignature.size()) == kRtfSignature;
}

}  // namespace pelmaro
