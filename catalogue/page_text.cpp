#include "catalogue/page_text.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "catalogue/line_list.h"
#include "catalogue/strings.h"

namespace pelmaro {
namespace {

// Destinations whose content is never text the reader shows: tables, document information,
// pictures, embedded objects' data, field instructions, headers and footers, and so on. A group
// that starts with "\*" is skipped as well, whatever its destination.
constexpr std::array kHiddenDestinations = {
    "author",
    "colortbl",
    "comment",
    "datastore",
    "doccomm",
    "fldinst",
    "filetbl",
    "fonttbl",
    "footer",
    "footerf",
    "footerl",
    "footerr",
    "footnote",
    "generator",
    "header",
    "headerf",
    "headerl",
    "headerr",
    "info",
    "keywords",
    "latentstyles",
    "listtable",
    "listoverridetable",
    "object",
    "objdata",
    "operator",
    "pict",
    "pgdsctbl",
    "revtbl",
    "rsidtbl",
    "stylesheet",
    "subject",
    "themedata",
    "title",
    "xmlnstbl",
    "colorschememapping",
};

bool isHiddenDestination(std::string_view word) {
    for (const char* hidden : kHiddenDestinations) {
        if (word == hidden) {
            return true;
        }
    }
    return false;
}

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A small RTF reader: enough of the format to deliver the text a word processor shows.
class RtfReader {
public:
    explicit RtfReader(std::string_view rtf) : in_(rtf) {}

    bool read(std::string& text) {
        // "{\rtf1" with any version number, or none.
        if (!startsAsRtf(in_)) {
            return false;
        }
        pos_ = 1;
        groups_.push_back(Group{});
        std::string_view word;
        long param = 0;
        bool hasParam = false;
        if (!readControl(word, param, hasParam) || word != "rtf") {
            return false;
        }
        while (pos_ < in_.size()) {
            const char c = in_[pos_++];
            if (c == '{') {
                flushHighSurrogate();
                Group inner = groups_.back();
                inner.skipping = 0;
                groups_.push_back(inner);
                atGroupStart_ = true;
                continue;
            }
            const bool groupStart = atGroupStart_;
            atGroupStart_ = false;
            if (c == '}') {
                flushHighSurrogate();
                groups_.pop_back();
                if (groups_.empty()) {
                    // Whatever follows the document's outer group is not part of it.
                    text = std::move(out_);
                    return true;
                }
                continue;
            }
            if (c == '\\') {
                if (!handleControl(groupStart)) {
                    return false;
                }
                continue;
            }
            if (c == '\r' || c == '\n') {
                continue;  // line breaks in the source are layout only
            }
            emitByte(c);
        }
        // The outer group never closed: a truncated or broken document.
        return false;
    }

private:
    struct Group {
        bool hidden = false;
        int unicodeSkip = 1;  // \ucN: how many fallback characters follow each \uN
        int skipping = 0;     // fallback characters still to drop after the last \uN
    };

    Group& group() { return groups_.back(); }

    // Reads a control word and its parameter; pos_ is just after the backslash.
    bool readControl(std::string_view& word, long& param, bool& hasParam) {
        if (pos_ >= in_.size() || in_[pos_] != '\\') {
            return false;
        }
        ++pos_;
        const std::size_t start = pos_;
        while (pos_ < in_.size() && isLetter(in_[pos_])) {
            ++pos_;
        }
        word = in_.substr(start, pos_ - start);
        return readParameter(param, hasParam);
    }

    bool readParameter(long& param, bool& hasParam) {
        hasParam = false;
        param = 0;
        bool negative = false;
        if (pos_ < in_.size() && in_[pos_] == '-') {
            negative = true;
            ++pos_;
        }
        int digits = 0;
        while (pos_ < in_.size() && isDigit(in_[pos_])) {
            // Parameters are 16 or 32 bit; saturate rather than overflow on nonsense.
            if (param < 100000000L) {
                param = param * 10 + (in_[pos_] - '0');
            }
            ++pos_;
            ++digits;
        }
        if (negative && digits == 0) {
            return false;
        }
        hasParam = digits > 0;
        if (negative) {
            param = -param;
        }
        // A blank ends the control word and belongs to it.
        if (pos_ < in_.size() && in_[pos_] == ' ') {
            ++pos_;
        }
        return true;
    }

    // pos_ is just after a backslash.
    bool handleControl(bool groupStart) {
        if (pos_ >= in_.size()) {
            return false;
        }
        const char c = in_[pos_];
        if (!isLetter(c)) {
            ++pos_;
            return handleSymbol(c, groupStart);
        }
        const std::size_t start = pos_;
        while (pos_ < in_.size() && isLetter(in_[pos_])) {
            ++pos_;
        }
        const std::string_view word = in_.substr(start, pos_ - start);
        long param = 0;
        bool hasParam = false;
        if (!readParameter(param, hasParam)) {
            return false;
        }
        return handleWord(word, param, hasParam, groupStart);
    }

    bool handleSymbol(char c, bool groupStart) {
        switch (c) {
            case '\\':
            case '{':
            case '}':
                emitByte(c);
                return true;
            case '\'': {
                if (pos_ + 2 > in_.size()) {
                    return false;
                }
                const int high = hexDigitValue(in_[pos_]);
                const int low = hexDigitValue(in_[pos_ + 1]);
                if (high < 0 || low < 0) {
                    return false;
                }
                pos_ += 2;
                const char byte = static_cast<char>(high * 16 + low);
                // A NUL would end the page text; \'0d and \'0a are line ends like \par.
                if (byte != '\0') {
                    emitByte(byte);
                }
                return true;
            }
            case '*':
                // "{\*\destination ...}": a reader that doesn't know the destination skips it.
                if (groupStart) {
                    group().hidden = true;
                }
                return true;
            case '~':
                emitText(" ");
                return true;
            case '_':
                emitText("-");
                return true;
            case '-':  // optional hyphen: shown only at a line break
                dropFallback();
                return true;
            case '\r':
            case '\n':
                emitText("\n");
                return true;
            default:
                // Unknown symbols (\| \: and the like) carry no text.
                dropFallback();
                return true;
        }
    }

    bool handleWord(std::string_view word, long param, bool hasParam, bool groupStart) {
        if (word == "bin") {
            // Binary data of `param` bytes follows; it is never text.
            const std::size_t length = hasParam && param > 0 ? static_cast<std::size_t>(param) : 0;
            pos_ = length > in_.size() - pos_ ? in_.size() : pos_ + length;
            return true;
        }
        if (word == "u" && hasParam) {
            long value = param;
            if (value < 0) {
                value += 65536;  // written as a signed 16-bit number
            }
            emitUnicode(static_cast<std::uint32_t>(value) & 0xFFFF);
            group().skipping = group().unicodeSkip;
            return true;
        }
        if (word == "uc") {
            group().unicodeSkip = hasParam && param >= 0 ? static_cast<int>(param) : 1;
            return true;
        }
        if (groupStart && isHiddenDestination(word)) {
            group().hidden = true;
            return true;
        }
        if (word == "par" || word == "line" || word == "sect" || word == "page" || word == "row") {
            emitText("\n");
        } else if (word == "tab" || word == "cell") {
            emitText("\t");
        } else if (word == "emdash") {
            emitCodePoint(0x2014);
        } else if (word == "endash") {
            emitCodePoint(0x2013);
        } else if (word == "bullet") {
            emitCodePoint(0x2022);
        } else if (word == "lquote") {
            emitCodePoint(0x2018);
        } else if (word == "rquote") {
            emitCodePoint(0x2019);
        } else if (word == "ldblquote") {
            emitCodePoint(0x201C);
        } else if (word == "rdblquote") {
            emitCodePoint(0x201D);
        } else {
            // Formatting words carry no text, but one stands in for a fallback character.
            dropFallback();
        }
        return true;
    }

    // Drops one fallback character of the last \uN if any is due; true when it did.
    bool dropFallback() {
        if (group().skipping > 0) {
            --group().skipping;
            return true;
        }
        return false;
    }

    void emitByte(char c) {
        if (dropFallback() || group().hidden) {
            return;
        }
        flushHighSurrogate();
        out_ += c;
    }

    void emitText(std::string_view text) {
        if (dropFallback() || group().hidden) {
            return;
        }
        flushHighSurrogate();
        out_ += text;
    }

    void emitCodePoint(std::uint32_t cp) {
        if (dropFallback() || group().hidden) {
            return;
        }
        flushHighSurrogate();
        appendUtf8(out_, cp);
    }

    // \uN carries UTF-16 units: characters beyond the first plane come as two of them.
    void emitUnicode(std::uint32_t unit) {
        if (group().hidden) {
            return;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            flushHighSurrogate();
            highSurrogate_ = unit;
            return;
        }
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            if (highSurrogate_ != 0) {
                appendUtf8(out_, 0x10000 + ((highSurrogate_ - 0xD800) << 10) + (unit - 0xDC00));
                highSurrogate_ = 0;
            } else {
                appendUtf8(out_, 0xFFFD);
            }
            return;
        }
        flushHighSurrogate();
        if (unit != 0) {
            appendUtf8(out_, unit);
        }
    }

    void flushHighSurrogate() {
        if (highSurrogate_ != 0) {
            appendUtf8(out_, 0xFFFD);
            highSurrogate_ = 0;
        }
    }

    std::string_view in_;
    std::size_t pos_ = 0;
    std::vector<Group> groups_;
    std::string out_;
    bool atGroupStart_ = false;
    std::uint32_t highSurrogate_ = 0;
};

}  // namespace

bool rtfToText(std::string_view rtf, std::string& text) {
    std::string out;
    if (!RtfReader(rtf).read(out)) {
        text.clear();
        return false;
    }
    text = std::move(out);
    return true;
}

std::vector<std::string> pageLines(std::string_view bytes) {
    if (startsAsRtf(bytes)) {
        std::string text;
        if (rtfToText(bytes, text)) {
            return parseLineList(text);
        }
    }
    return parseLineList(bytes);
}

std::vector<std::string> loadPageLines(platform::FileSystem& files, const std::string& fileName) {
    return pageLines(platform::readWholeFile(files, fileName));
}

std::string joinedText(const std::vector<std::string>& lines) {
    std::size_t total = 0;
    for (const auto& line : lines) {
        total += line.size();
    }
    std::string out;
    out.reserve(total);
    for (const auto& line : lines) {
        out += line;
    }
    return out;
}

}  // namespace pelmaro
