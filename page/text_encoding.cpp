#include "page/text_encoding.h"

#include "platform/byte_text.h"

#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "platform/file_names.h"

namespace pelmaro {
namespace {

// windows-1252 0x80 to 0x9F; the undefined bytes keep their own number.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char32_t kReplacement = 0xFFFD;

struct LabelGroup {
    const char* encoding;
    std::initializer_list<std::string_view> labels;
};

// The WHATWG labels whose encoding is not what iconv would make of the label itself.
const LabelGroup kLabelGroups[] = {
    {"UTF-8",
     {"unicode-1-1-utf-8", "unicode11utf8", "unicode20utf8", "utf-8", "utf8", "x-unicode20utf8"}},
    {"CP1252",
     {"ansi_x3.4-1968", "ascii", "cp1252", "cp819", "csisolatin1", "ibm819", "iso-8859-1",
      "iso-ir-100", "iso8859-1", "iso88591", "iso_8859-1", "iso_8859-1:1987", "l1", "latin1",
      "us-ascii", "windows-1252", "x-cp1252"}},
    {"WINDOWS-1254",
     {"cp1254", "csisolatin5", "iso-8859-9", "iso-ir-148", "iso8859-9", "iso88599", "iso_8859-9",
      "iso_8859-9:1989", "l5", "latin5", "windows-1254", "x-cp1254"}},
    {"CP874", {"dos-874", "iso-8859-11", "iso8859-11", "iso885911", "tis-620", "windows-874"}},
    {"GB18030",
     {"chinese", "csgb2312", "csiso58gb231280", "gb2312", "gb_2312", "gb_2312-80", "gbk",
      "iso-ir-58", "x-gbk", "gb18030"}},
    {"BIG5-HKSCS", {"big5", "big5-hkscs", "cn-big5", "csbig5", "x-x-big5"}},
    {"CP932",
     {"csshiftjis", "ms932", "ms_kanji", "shift-jis", "shift_jis", "sjis", "windows-31j",
      "x-sjis"}},
    {"CP949",
     {"cseuckr", "csksc56011987", "euc-kr", "iso-ir-149", "korean", "ks_c_5601-1987",
      "ks_c_5601-1989", "ksc5601", "ksc_5601", "windows-949"}},
    {"UTF-16LE",
     {"csunicode", "iso-10646-ucs-2", "ucs-2", "unicode", "unicodefeff", "utf-16", "utf-16le"}},
    {"UTF-16BE", {"unicodefffe", "utf-16be"}},
    {"x-user-defined", {"x-user-defined"}},
};

bool knownToIconv(const std::string& name) {
    if (name == "UTF-8" || name == "CP1252") {
        return true;
    }
    const iconv_t handle = iconv_open("UTF-8", name.c_str());
    if (handle == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    iconv_close(handle);
    return true;
}

// The encoding a declared label names for a page read as markup: UTF-16 is read as UTF-8 (the
// declaration itself was readable as ASCII) and x-user-defined as windows-1252. Empty when iconv
// doesn't know it.
std::string declaredEncoding(std::string_view label) {
    std::string name = encodingForLabel(label);
    if (name == "UTF-16LE" || name == "UTF-16BE") {
        return "UTF-8";
    }
    if (name == "x-user-defined") {
        return "CP1252";
    }
    if (name.empty() || !knownToIconv(name)) {
        return {};
    }
    return name;
}

// The HTML standard's "extract a character encoding from a meta element", on a lower-cased
// content attribute value.
std::optional<std::string_view> charsetInContent(std::string_view content) {
    std::size_t at = 0;
    for (;;) {
        const std::size_t found = content.find("charset", at);
        if (found == std::string_view::npos) {
            return std::nullopt;
        }
        std::size_t p = found + 7;
        while (p < content.size() && isAsciiSpace(content[p])) {
            ++p;
        }
        if (p == content.size() || content[p] != '=') {
            at = found + 7;
            continue;
        }
        ++p;
        while (p < content.size() && isAsciiSpace(content[p])) {
            ++p;
        }
        if (p == content.size()) {
            return std::nullopt;
        }
        if (content[p] == '"' || content[p] == '\'') {
            const std::size_t close = content.find(content[p], p + 1);
            if (close == std::string_view::npos) {
                return std::nullopt;
            }
            return content.substr(p + 1, close - p - 1);
        }
        std::size_t end = p;
        while (end < content.size() && !isAsciiSpace(content[end]) && content[end] != ';') {
            ++end;
        }
        return content.substr(p, end - p);
    }
}

// The HTML standard's prescan of a byte stream (its "get an attribute" and the <meta> handling);
// empty when the head declares nothing usable before it ends.
class Prescan {
public:
    explicit Prescan(std::string_view head) : in_(head) {}

    std::string run() {
        while (pos_ < in_.size()) {
            if (in_[pos_] != '<') {
                pos_ = in_.find('<', pos_);
                if (pos_ == std::string_view::npos) {
                    return {};
                }
            }
            const char next = pos_ + 1 < in_.size() ? in_[pos_ + 1] : '\0';
            if (next == '!' && in_.substr(pos_, 4) == "<!--") {
                const std::size_t close = in_.find("-->", pos_ + 2);
                if (close == std::string_view::npos) {
                    return {};
                }
                pos_ = close + 3;
                continue;
            }
            if ((next == 'm' || next == 'M') &&
                startsWithIgnoringAsciiCase(in_.substr(pos_), "<meta") && pos_ + 5 < in_.size() &&
                (isAsciiSpace(in_[pos_ + 5]) || in_[pos_ + 5] == '/')) {
                pos_ += 5;
                bool ended = false;
                std::string found = meta(ended);
                if (ended) {
                    return {};
                }
                if (!found.empty()) {
                    return found;
                }
                continue;
            }
            if (in_[pos_] == '<' && pos_ + 1 < in_.size() &&
                (isAsciiAlpha(in_[pos_ + 1]) ||
                 (in_[pos_ + 1] == '/' && pos_ + 2 < in_.size() && isAsciiAlpha(in_[pos_ + 2])))) {
                while (pos_ < in_.size() && !isAsciiSpace(in_[pos_]) && in_[pos_] != '>') {
                    ++pos_;
                }
                std::string name;
                std::string value;
                bool ended = false;
                while (attribute(name, value, ended)) {
                }
                if (ended) {
                    return {};
                }
                ++pos_;
                continue;
            }
            if (in_[pos_] == '<' && pos_ + 1 < in_.size() &&
                (in_[pos_ + 1] == '!' || in_[pos_ + 1] == '/' || in_[pos_ + 1] == '?')) {
                const std::size_t close = in_.find('>', pos_ + 2);
                if (close == std::string_view::npos) {
                    return {};
                }
                pos_ = close + 1;
                continue;
            }
            ++pos_;
        }
        return {};
    }

private:
    // The attributes of a <meta> tag; pos_ is just after "<meta". `ended` when the head ended
    // inside the tag.
    std::string meta(bool& ended) {
        // Only the first of each attribute counts; only these three matter.
        bool seenHttpEquiv = false;
        bool seenContent = false;
        bool seenCharset = false;
        bool gotPragma = false;
        std::optional<bool> needPragma;
        std::string charset;
        std::string name;
        std::string value;
        while (attribute(name, value, ended)) {
            if (name == "http-equiv" && !std::exchange(seenHttpEquiv, true)) {
                gotPragma = value == "content-type";
            } else if (name == "content" && !std::exchange(seenContent, true)) {
                if (charset.empty()) {
                    if (const auto label = charsetInContent(value)) {
                        charset = declaredEncoding(*label);
                        needPragma = true;
                    }
                }
            } else if (name == "charset" && !std::exchange(seenCharset, true)) {
                charset = declaredEncoding(value);
                needPragma = false;
            }
        }
        if (ended || !needPragma || (*needPragma && !gotPragma)) {
            return {};
        }
        return charset;
    }

    // The HTML standard's "get an attribute": false when there is none more (at ">"), or when
    // the head ends first (then `ended` is set).
    bool attribute(std::string& name, std::string& value, bool& ended) {
        name.clear();
        value.clear();
        const auto atEnd = [&] {
            if (pos_ >= in_.size()) {
                ended = true;
                return true;
            }
            return false;
        };
        while (!atEnd() && (isAsciiSpace(in_[pos_]) || in_[pos_] == '/')) {
            ++pos_;
        }
        if (ended || in_[pos_] == '>') {
            return false;
        }
        // The name.
        for (;;) {
            if (atEnd()) {
                return false;
            }
            const char c = in_[pos_];
            if (c == '=' && !name.empty()) {
                ++pos_;
                return attributeValue(value, ended);
            }
            if (isAsciiSpace(c)) {
                break;
            }
            if (c == '/' || c == '>') {
                return true;
            }
            name += lowerAZ(c);
            ++pos_;
        }
        while (!atEnd() && isAsciiSpace(in_[pos_])) {
            ++pos_;
        }
        if (ended) {
            return false;
        }
        if (in_[pos_] != '=') {
            return true;
        }
        ++pos_;
        return attributeValue(value, ended);
    }

    bool attributeValue(std::string& value, bool& ended) {
        while (pos_ < in_.size() && isAsciiSpace(in_[pos_])) {
            ++pos_;
        }
        if (pos_ >= in_.size()) {
            ended = true;
            return false;
        }
        const char first = in_[pos_];
        if (first == '"' || first == '\'') {
            const std::size_t close = in_.find(first, pos_ + 1);
            if (close == std::string_view::npos) {
                ended = true;
                return false;
            }
            for (std::size_t i = pos_ + 1; i < close; ++i) {
                value += lowerAZ(in_[i]);
            }
            pos_ = close + 1;
            return true;
        }
        if (first == '>') {
            return true;
        }
        while (pos_ < in_.size() && !isAsciiSpace(in_[pos_]) && in_[pos_] != '>') {
            value += lowerAZ(in_[pos_]);
            ++pos_;
        }
        if (pos_ >= in_.size()) {
            ended = true;
            return false;
        }
        return true;
    }

    std::string_view in_;
    std::size_t pos_ = 0;
};

// Where "charset" first stands in `text`, A-Z case ignored; npos when nowhere.
std::size_t findCharset(std::string_view text) {
    constexpr std::string_view kWord = "charset";
    for (std::size_t i = 0; i + kWord.size() <= text.size(); ++i) {
        if ((text[i] | 0x20) == 'c' && startsWithIgnoringAsciiCase(text.substr(i), kWord)) {
            return i;
        }
    }
    return std::string_view::npos;
}

// The common case at little cost: the head's first "charset", with no comment before it, is
// followed by "=" and "utf-8" (or "utf8"), quoted or not.
bool saysUtf8First(std::string_view head, std::size_t charset) {
    if (head.substr(0, charset).find("<!--") != std::string_view::npos) {
        return false;
    }
    std::size_t p = charset + 7;
    const auto skipBlanks = [&] {
        while (p < head.size() && isAsciiSpace(head[p])) {
            ++p;
        }
    };
    skipBlanks();
    if (p == head.size() || head[p] != '=') {
        return false;
    }
    ++p;
    skipBlanks();
    if (p < head.size() && (head[p] == '"' || head[p] == '\'')) {
        ++p;
    }
    for (const std::string_view utf8 : {std::string_view("utf-8"), std::string_view("utf8")}) {
        if (startsWithIgnoringAsciiCase(head.substr(p), utf8) && p + utf8.size() < head.size()) {
            const char after = head[p + utf8.size()];
            return after == '"' || after == '\'' || after == ';' || after == '>' || after == '/' ||
                   isAsciiSpace(after);
        }
    }
    return false;
}

// encoding="..." of an XML declaration at the start of `text`; empty when there is none.
std::string xmlDeclarationEncoding(std::string_view text) {
    if (text.substr(0, 6) != "<?xml " && text.substr(0, 6) != "<?xml\t" &&
        text.substr(0, 6) != "<?xml\n" && text.substr(0, 6) != "<?xml\r") {
        return {};
    }
    const std::size_t close = text.find("?>");
    if (close == std::string_view::npos) {
        return {};
    }
    const std::string_view declaration = text.substr(0, close);
    const std::size_t found = declaration.find("encoding");
    if (found == std::string_view::npos) {
        return {};
    }
    std::size_t p = found + 8;
    while (p < declaration.size() && isAsciiSpace(declaration[p])) {
        ++p;
    }
    if (p == declaration.size() || declaration[p] != '=') {
        return {};
    }
    ++p;
    while (p < declaration.size() && isAsciiSpace(declaration[p])) {
        ++p;
    }
    if (p == declaration.size() || (declaration[p] != '"' && declaration[p] != '\'')) {
        return {};
    }
    const std::size_t end = declaration.find(declaration[p], p + 1);
    if (end == std::string_view::npos) {
        return {};
    }
    return declaredEncoding(declaration.substr(p + 1, end - p - 1));
}

}  // namespace

bool isValidUtf8(std::string_view bytes, bool allowCutEnd) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        // ASCII runs, 8 bytes at a time.
        while (i + 8 <= bytes.size()) {
            unsigned long long word = 0;
            for (std::size_t k = 0; k < 8; ++k) {
                word |= static_cast<unsigned long long>(static_cast<unsigned char>(bytes[i + k]))
                        << (8 * k);
            }
            if ((word & 0x8080808080808080ULL) != 0) {
                break;
            }
            i += 8;
        }
        if (i == bytes.size()) {
            break;
        }
        bool complete = false;
        const std::size_t length = utf8Sequence(bytes.substr(i), complete);
        if (!complete) {
            return allowCutEnd && length > 0 && i + length == bytes.size();
        }
        i += length;
    }
    return true;
}

void appendUtf8Repaired(std::string& out, std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        bool complete = false;
        const std::size_t length = utf8Sequence(bytes.substr(i), complete);
        if (complete) {
            out.append(bytes.data() + i, length);
            i += length;
        } else {
            appendUtf8(out, kReplacement);
            i += length == 0 ? 1 : length;
        }
    }
}

char32_t windows1252Char(unsigned char byte) {
    return byte >= 0x80 && byte <= 0x9F ? kWindows1252High[byte - 0x80] : byte;
}

void appendWindows1252(std::string& out, std::string_view bytes) {
    for (const char c : bytes) {
        appendUtf8(out, windows1252Char(static_cast<unsigned char>(c)));
    }
}

std::string encodingForLabel(std::string_view label) {
    label = trimmed(label);
    if (label.empty() || label.size() > 40) {
        return {};
    }
    std::string lower;
    lower.reserve(label.size());
    for (const char c : label) {
        const bool allowed =
            isAsciiAlnum(c) || c == '-' || c == '_' || c == '.' || c == ':' || c == '(' || c == ')';
        if (!allowed) {
            return {};
        }
        lower += lowerAZ(c);
    }
    if (lower == "utf-8") {
        return "UTF-8";  // by far the most common
    }
    for (const LabelGroup& group : kLabelGroups) {
        for (const std::string_view candidate : group.labels) {
            if (lower == candidate) {
                return group.encoding;
            }
        }
    }
    return upperAZ(lower);
}

bool isAsciiCompatible(std::string_view name) {
    const std::string upper = upperAZ(name);
    for (const std::string_view wide :
         {"UTF-16", "UTF16", "UTF-32", "UTF32", "UCS-2", "UCS2", "UCS-4", "UCS4", "UNICODE",
          "UTF-7", "UTF7", "2022", "HZ", "EBCDIC", "IBM037", "CP037", "UTF-EBCDIC"}) {
        if (upper.find(wide) != std::string::npos) {
            return false;
        }
    }
    return true;
}

std::size_t codeUnitSize(std::string_view name) {
    const std::string upper = upperAZ(name);
    for (const std::string_view prefix : {"UTF-16", "UTF16", "UCS-2", "UCS2", "UNICODE"}) {
        if (upper.starts_with(prefix)) {
            return 2;
        }
    }
    for (const std::string_view prefix : {"UTF-32", "UTF32", "UCS-4", "UCS4"}) {
        if (upper.starts_with(prefix)) {
            return 4;
        }
    }
    return 1;
}

PageEncoding sniffPageEncoding(std::string_view head, bool markup, bool xml) {
    PageEncoding found;
    if (head.substr(0, 3) == "\xEF\xBB\xBF") {
        return {"UTF-8", EncodingSource::ByteOrderMark, 3};
    }
    if (head.substr(0, 2) == "\xFF\xFE") {
        return {"UTF-16LE", EncodingSource::ByteOrderMark, 2};
    }
    if (head.substr(0, 2) == "\xFE\xFF") {
        return {"UTF-16BE", EncodingSource::ByteOrderMark, 2};
    }
    if (!markup) {
        return found;
    }
    const auto fromXml = [&] {
        std::string name = xmlDeclarationEncoding(head);
        return name.empty() ? PageEncoding{}
                            : PageEncoding{std::move(name), EncodingSource::XmlDeclaration, 0};
    };
    const auto fromMeta = [&] {
        // No "charset" at all: no meta tag can declare anything, and most pages say UTF-8 at
        // once; only the others need the whole prescan.
        const std::size_t charset = findCharset(head);
        if (charset == std::string_view::npos) {
            return PageEncoding{};
        }
        if (saysUtf8First(head, charset)) {
            return PageEncoding{"UTF-8", EncodingSource::MetaTag, 0};
        }
        std::string name = Prescan(head).run();
        return name.empty() ? PageEncoding{}
                            : PageEncoding{std::move(name), EncodingSource::MetaTag, 0};
    };
    found = xml ? fromXml() : fromMeta();
    if (found.name.empty()) {
        found = xml ? fromMeta() : fromXml();
    }
    return found;
}

Converter::Converter(std::string_view encoding, Direction direction)
    : direction_(direction),
      unitSize_(direction == Direction::ToUtf8 ? codeUnitSize(encoding) : 1) {
    const std::string name(encoding);
    const iconv_t handle = direction == Direction::ToUtf8 ? iconv_open("UTF-8", name.c_str())
                                                          : iconv_open(name.c_str(), "UTF-8");
    if (handle != reinterpret_cast<iconv_t>(-1)) {
        handle_ = handle;
    }
}

Converter::~Converter() {
    if (handle_ != nullptr) {
        iconv_close(static_cast<iconv_t>(handle_));
    }
}

Converter::Converter(Converter&& other) noexcept
    : handle_(other.handle_), direction_(other.direction_), unitSize_(other.unitSize_) {
    other.handle_ = nullptr;
}

Converter& Converter::operator=(Converter&& other) noexcept {
    if (this != &other) {
        if (handle_ != nullptr) {
            iconv_close(static_cast<iconv_t>(handle_));
        }
        handle_ = other.handle_;
        direction_ = other.direction_;
        unitSize_ = other.unitSize_;
        other.handle_ = nullptr;
    }
    return *this;
}

bool Converter::convert(std::string_view bytes, std::string& out) {
    if (handle_ == nullptr) {
        return false;
    }
    const auto handle = static_cast<iconv_t>(handle_);
    iconv(handle, nullptr, nullptr, nullptr, nullptr);
    const std::size_t had = out.size();
    std::size_t used = had;
    out.resize(had + bytes.size() * 3 + 16);
    const auto grow = [&](std::size_t wanted) {
        if (out.size() - used < wanted) {
            out.resize(out.size() * 2 + wanted);
        }
    };
    char* in = const_cast<char*>(bytes.data());  // iconv's signature; it never writes there
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* outPtr = out.data() + used;
        std::size_t outLeft = out.size() - used;
        const std::size_t result = iconv(handle, &in, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        used = static_cast<std::size_t>(outPtr - out.data());
        if (result != static_cast<std::size_t>(-1)) {
            if (direction_ == Direction::FromUtf8 && result > 0) {
                // Characters written in a form that does not convert back: not this text.
                out.resize(had);
                return false;
            }
            break;
        }
        if (error == E2BIG) {
            grow(64);
            continue;
        }
        if (direction_ == Direction::FromUtf8) {
            out.resize(had);
            return false;
        }
        // A byte the encoding does not read, or a sequence cut by the end of the bytes.
        grow(3);
        out[used++] = '\xEF';
        out[used++] = '\xBF';
        out[used++] = '\xBD';
        if (error == EINVAL) {
            break;
        }
        const std::size_t skipped = std::min(unitSize_, inLeft);
        in += skipped;
        inLeft -= skipped;
    }
    // Back to the initial state: an encoding with shift states writes its closing shift here.
    for (;;) {
        char* outPtr = out.data() + used;
        std::size_t outLeft = out.size() - used;
        const std::size_t result = iconv(handle, nullptr, nullptr, &outPtr, &outLeft);
        const int error = errno;
        used = static_cast<std::size_t>(outPtr - out.data());
        if (result == static_cast<std::size_t>(-1) && error == E2BIG) {
            grow(64);
            continue;
        }
        break;
    }
    out.resize(used);
    return true;
}

}  // namespace pelmaro
