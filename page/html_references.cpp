#include "page/html_references.h"

#include <algorithm>
#include <cstddef>

#include "page/text_encoding.h"
#include "platform/file_names.h"

namespace pelmaro {
namespace {

struct NamedReference {
    std::string_view name;
    std::string_view text;
};

#include "page/html_entities.inc"

const NamedReference* findNamed(std::string_view name) {
    const auto* const end = std::end(kNamedReferences);
    const auto* found = std::lower_bound(
        std::begin(kNamedReferences), end, name,
        [](const NamedReference& entry, std::string_view key) { return entry.name < key; });
    return found != end && found->name == name ? found : nullptr;
}

// A numeric reference at text[at] ("&#..."); the bytes it takes, 0 when it is none.
std::size_t numericReference(std::string_view text, std::size_t at, std::string& out) {
    std::size_t p = at + 2;
    const bool hex = p < text.size() && (text[p] == 'x' || text[p] == 'X');
    if (hex) {
        ++p;
    }
    const std::size_t digitsStart = p;
    std::uint32_t value = 0;
    bool tooBig = false;
    for (; p < text.size(); ++p) {
        const int digit =
            hex ? hexDigitValue(text[p]) : (isAsciiDigit(text[p]) ? text[p] - '0' : -1);
        if (digit < 0) {
            break;
        }
        value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
        if (value > 0x10FFFF) {
            tooBig = true;
            value = 0x110000;  // stays beyond whatever follows
        }
    }
    if (p == digitsStart) {
        return 0;
    }
    if (p < text.size() && text[p] == ';') {
        ++p;
    }
    char32_t c = value;
    if (tooBig || value == 0 || (value >= 0xD800 && value <= 0xDFFF)) {
        c = 0xFFFD;
    } else if (value >= 0x80 && value <= 0x9F) {
        c = windows1252Char(static_cast<unsigned char>(value));
    }
    appendUtf8(out, c);
    return p - at;
}

// A named reference at text[at] ("&name..."); the bytes it takes, 0 when it is none.
std::size_t namedReference(std::string_view text, std::size_t at, std::string& out) {
    std::size_t end = at + 1;
    while (end < text.size() && end - at - 1 < kLongestEntityName && isAsciiAlnum(text[end])) {
        ++end;
    }
    if (end < text.size() && end - at - 1 < kLongestEntityName && text[end] == ';') {
        ++end;
    }
    for (std::size_t length = end - at - 1; length > 0; --length) {
        if (const NamedReference* found = findNamed(text.substr(at + 1, length))) {
            out += found->text;
            return length + 1;
        }
    }
    return 0;
}

}  // namespace

std::string decodeCharacterReferences(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t done = 0;
    for (std::size_t amp = text.find('&'); amp != std::string_view::npos;
         amp = text.find('&', amp)) {
        out.append(text, done, amp - done);
        const bool numeric = amp + 1 < text.size() && text[amp + 1] == '#';
        const std::size_t taken =
            numeric ? numericReference(text, amp, out) : namedReference(text, amp, out);
        if (taken == 0) {
            out += '&';
            done = amp + 1;
        } else {
            done = amp + taken;
        }
        amp = done;
    }
    out.append(text, done);
    return out;
}

}  // namespace pelmaro
