#include "page/shown_title.h"

#include <functional>

#include "page/html_references.h"
#include "page/page_title.h"
#include "page/page_types.h"
#include "platform/error.h"
#include "platform/file_names.h"

namespace pelmaro {
namespace {

using ConverterSource = std::function<Converter*(const std::string& encoding)>;

// Strips and collapses ASCII whitespace, as document.title does.
std::string collapsedWhitespace(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    bool blank = false;
    for (const char c : text) {
        if (isAsciiSpace(c)) {
            blank = !out.empty();
            continue;
        }
        if (blank) {
            out += ' ';
            blank = false;
        }
        out += c;
    }
    return out;
}

// Bytes in an encoding as UTF-8. Without a usable conversion, as if nothing were declared.
void appendDecoded(std::string& out, std::string_view bytes, const std::string& encoding,
                   const ConverterSource& converters) {
    if (encoding == "UTF-8") {
        appendUtf8Repaired(out, bytes);
        return;
    }
    if (encoding == "CP1252") {
        appendWindows1252(out, bytes);
        return;
    }
    if (!encoding.empty()) {
        if (Converter* converter = converters(encoding);
            converter != nullptr && converter->valid()) {
            converter->convert(bytes, out);
            return;
        }
    }
    if (isValidUtf8(bytes)) {
        appendUtf8Repaired(out, bytes);
    } else {
        appendWindows1252(out, bytes);
    }
}

// The first "<title>" ... "</title>" of a text, A-Z case ignored, as the title extractor takes
// it (line breaks removed); empty when there is none.
std::string titleElement(std::string_view text) {
    std::string joined;
    joined.reserve(text.size());
    for (const char c : text) {
        if (c == '\0') {
            break;
        }
        if (c != '\r' && c != '\n') {
            joined += c;
        }
    }
    const std::size_t open = findIgnoringAsciiCase(joined, "<title>");
    const std::size_t close = findIgnoringAsciiCase(joined, "</title>");
    if (open == std::string::npos || close == std::string::npos || close < open) {
        return {};
    }
    return joined.substr(open + 7, close - open - 7);
}

bool isUtf16(const PageEncoding& encoding) {
    return encoding.source == EncodingSource::ByteOrderMark &&
           (encoding.name == "UTF-16LE" || encoding.name == "UTF-16BE");
}

// The title of a UTF-16 page, from its decoded head: what the byte-wise extractor could not see.
std::string utf16Title(std::string_view head, bool cut, TitleKind kind,
                       const PageEncoding& encoding, const ConverterSource& converters) {
    std::string_view body = head.substr(encoding.bomLength);
    if (cut) {
        // The read stopped inside the page: drop a half unit and a lone leading surrogate.
        body = body.substr(0, body.size() & ~std::size_t{1});
        if (body.size() >= 2) {
            const bool little = encoding.name == "UTF-16LE";
            const auto high = static_cast<unsigned char>(body[body.size() - (little ? 1 : 2)]);
            if (high >= 0xD8 && high <= 0xDB) {
                body.remove_suffix(2);
            }
        }
    }
    std::string text;
    appendDecoded(text, body, encoding.name, converters);
    if (kind == TitleKind::Text) {
        const std::size_t end = text.find_first_of(std::string_view("\r\n\0", 3));
        return collapsedWhitespace(std::string_view(text).substr(0, end));
    }
    return collapsedWhitespace(decodeCharacterReferences(titleElement(text)));
}

std::string shownFileName(std::string_view name) {
    std::string out;
    if (isValidUtf8(name)) {
        out.assign(name);
    } else {
        appendWindows1252(out, name);
    }
    return out;
}

std::string shownText(std::string_view storedTitle, TitleKind kind, const PageEncoding& encoding,
                      const ConverterSource& converters) {
    if (kind == TitleKind::FileName) {
        return shownFileName(storedTitle);
    }
    if (kind == TitleKind::Text && storedTitle.substr(0, 3) == "\xEF\xBB\xBF") {
        storedTitle.remove_prefix(3);
    }
    std::string text;
    appendDecoded(text, storedTitle, encoding.name, converters);
    if (kind == TitleKind::Markup) {
        text = decodeCharacterReferences(text);
    }
    return collapsedWhitespace(text);
}

// The whole decoding, with the head read only when it matters.
std::string decodeTitle(platform::FileSystem& files, std::string_view storedTitle,
                        const std::string& path, const ConverterSource& converters,
                        std::size_t& headsRead) {
    const TitleKind kind = titleKindOf(storedTitle, path);
    std::string shown;
    if (!titleNeedsHead(storedTitle, path)) {
        shown = shownText(storedTitle, kind, PageEncoding{}, converters);
    } else {
        const std::string head = readPageHead(files, path);
        ++headsRead;
        const TextKind text = textKindOf(path);
        const bool markup = text != TextKind::Plain;
        const PageEncoding encoding = sniffPageEncoding(head, markup, text == TextKind::Xml);
        if (isUtf16(encoding)) {
            shown = utf16Title(head, head.size() == kPageHeadSize,
                               markup ? TitleKind::Markup : TitleKind::Text, encoding, converters);
        } else {
            shown = shownText(storedTitle, kind, encoding, converters);
        }
    }
    if (shown.empty()) {
        shown = shownFileName(defaultPageTitle(path));
    }
    return shown;
}

}  // namespace

TitleKind titleKindOf(std::string_view storedTitle, std::string_view path) {
    if (!isTextType(path) || storedTitle == defaultPageTitle(path)) {
        return TitleKind::FileName;
    }
    return textKindOf(path) == TextKind::Plain ? TitleKind::Text : TitleKind::Markup;
}

bool titleNeedsHead(std::string_view storedTitle, std::string_view path) {
    if (!isTextType(path)) {
        return false;
    }
    if (storedTitle == defaultPageTitle(path)) {
        return isMarkupType(path);
    }
    for (const char c : storedTitle) {
        const auto byte = static_cast<unsigned char>(c);
        // ESC, SO and SI shift an ISO-2022 page into other characters.
        if (byte >= 0x80 || byte == 0x1B || byte == 0x0E || byte == 0x0F) {
            return true;
        }
    }
    return false;
}

std::string shownTitleText(std::string_view storedTitle, TitleKind kind,
                           const PageEncoding& encoding, Converter* converter) {
    std::map<std::string, Converter, std::less<>> opened;
    const ConverterSource converters = [&](const std::string& name) -> Converter* {
        if (converter != nullptr) {
            return converter;
        }
        auto [at, added] = opened.try_emplace(name);
        if (added) {
            at->second = Converter(name, Converter::Direction::ToUtf8);
        }
        return &at->second;
    };
    return shownText(storedTitle, kind, encoding, converters);
}

std::string readPageHead(platform::FileSystem& files, const std::string& path) {
    std::string head(kPageHeadSize, '\0');
    std::size_t got = 0;
    try {
        const auto file = files.openForReading(path);
        while (got < head.size()) {
            const std::size_t more = file->read(head.data() + got, head.size() - got);
            if (more == 0) {
                break;
            }
            got += more;
        }
    } catch (const Error&) {
        // Removed or unreadable since the catalogue was built: decoded without its head.
    }
    head.resize(got);
    return head;
}

std::string decodeShownTitle(platform::FileSystem& files, std::string_view storedTitle,
                             const std::string& path) {
    std::map<std::string, Converter, std::less<>> opened;
    const ConverterSource converters = [&](const std::string& name) {
        auto [at, added] = opened.try_emplace(name);
        if (added) {
            at->second = Converter(name, Converter::Direction::ToUtf8);
        }
        return &at->second;
    };
    std::size_t headsRead = 0;
    return decodeTitle(files, storedTitle, path, converters, headsRead);
}

TitleDecoder::TitleDecoder(platform::FileSystem& files) : files_(files) {}

const std::string& TitleDecoder::shown(int entry, std::string_view storedTitle,
                                       const std::string& path) {
    if (const auto found = cache_.find(entry); found != cache_.end()) {
        return found->second;
    }
    return cache_.emplace(entry, decode(storedTitle, path)).first->second;
}

const std::string* TitleDecoder::cached(int entry) const {
    const auto found = cache_.find(entry);
    return found == cache_.end() ? nullptr : &found->second;
}

std::string TitleDecoder::decode(std::string_view storedTitle, const std::string& path) {
    return decodeTitle(
        files_, storedTitle, path, [this](const std::string& name) { return converterFor(name); },
        headsRead_);
}

Converter* TitleDecoder::converterFor(const std::string& encoding) {
    auto [at, added] = converters_.try_emplace(encoding);
    if (added) {
        at->second = Converter(encoding, Converter::Direction::ToUtf8);
    }
    return &at->second;
}

}  // namespace pelmaro
