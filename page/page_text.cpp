#include "page/page_text.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>

#include "platform/file_names.h"
#include "platform/line_list.h"

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

// Deeper nesting than this is no document a word processor wrote: the file is read as plain
// text instead, and the reader's memory stays small whatever the file holds.
constexpr std::size_t kDeepestRtfGroup = 1024;
// Control words are at most 32 letters; longer runs of letters match none that is known.
constexpr std::size_t kLongestControlWord = 32;
// A streamed document's text goes to its sink in pieces of about this size.
constexpr std::size_t kTextPieceSize = 64 * 1024;

// RTF bytes held in memory.
class MemorySource {
public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    bool atEnd() { return pos_ >= bytes_.size(); }
    char peek() { return bytes_[pos_]; }
    char get() { return bytes_[pos_++]; }
    void skip(std::size_t count) { pos_ += std::min(count, bytes_.size() - pos_); }
    bool stopped() const { return false; }

private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
};

// RTF bytes read from a file block by block, after the bytes the caller read already.
class FileSource {
public:
    FileSource(platform::InputFile& file, std::string_view start,
               const std::function<bool()>& keepGoing)
        : file_(file), buffer_(start), keepGoing_(keepGoing) {}

    bool atEnd() {
        if (pos_ < buffer_.size()) {
            return false;
        }
        if (ended_) {
            return true;
        }
        sincePause_ += buffer_.size();
        if (sincePause_ >= kBytesBetweenPauses) {
            sincePause_ = 0;
            if (keepGoing_ && !keepGoing_()) {
                stopped_ = true;
                ended_ = true;
                return true;
            }
        }
        buffer_.resize(kBlockSize);
        buffer_.resize(file_.read(buffer_.data(), buffer_.size()));
        pos_ = 0;
        ended_ = buffer_.empty();
        return ended_;
    }
    char peek() { return buffer_[pos_]; }
    char get() { return buffer_[pos_++]; }
    void skip(std::size_t count) {
        while (count > 0 && !atEnd()) {
            const std::size_t step = std::min(count, buffer_.size() - pos_);
            pos_ += step;
            count -= step;
        }
    }
    bool stopped() const { return stopped_; }

private:
    static constexpr std::size_t kBlockSize = 64 * 1024;
    static constexpr std::size_t kBytesBetweenPauses = 4 * 1024 * 1024;

    platform::InputFile& file_;
    std::string buffer_;
    std::size_t pos_ = 0;
    bool ended_ = false;
    bool stopped_ = false;
    std::size_t sincePause_ = 0;
    const std::function<bool()>& keepGoing_;
};

// A small RTF reader: enough of the format to deliver the text a word processor shows. It reads
// its source once, front to back, and holds only the open groups and a piece of text.
template <typename Source>
class RtfReader {
public:
    RtfReader(Source& in, const std::function<void(std::string_view)>& sink)
        : in_(in), sink_(sink) {}

    // True when the document is valid RTF; then all of its text has gone to the sink. With
    // `cutIsEnd`, input that ends inside the document counts as its end.
    bool read(bool cutIsEnd = false) {
        const bool valid = readDocument() || (cutIsEnd && ranOut_);
        if (valid) {
            flushHighSurrogate();
            flush();
        }
        return valid;
    }

private:
    struct Group {
        bool hidden = false;
        int unicodeSkip = 1;  // \ucN: how many fallback characters follow each \uN
        int skipping = 0;     // fallback characters still to drop after the last \uN
    };

    Group& group() { return groups_.back(); }

    bool readDocument() {
        // "{\rtf1" with any version number, or none.
        if (!expect('{') || !expect('\\')) {
            return false;
        }
        groups_.push_back(Group{});
        long param = 0;
        bool hasParam = false;
        if (!readWord() || word_ != "rtf" || !readParameter(param, hasParam)) {
            return false;
        }
        while (!atEnd()) {
            const char c = in_.get();
            if (c == '{') {
                if (groups_.size() == kDeepestRtfGroup) {
                    return false;
                }
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

    bool atEnd() {
        if (in_.atEnd()) {
            ranOut_ = true;
            return true;
        }
        return false;
    }

    bool expect(char c) { return !atEnd() && in_.get() == c; }

    // Reads the letters of a control word into word_.
    bool readWord() {
        word_.clear();
        while (!atEnd() && isAsciiAlpha(in_.peek())) {
            const char c = in_.get();
            if (word_.size() <= kLongestControlWord) {
                word_ += c;
            }
        }
        return true;
    }

    bool readParameter(long& param, bool& hasParam) {
        hasParam = false;
        param = 0;
        bool negative = false;
        if (!atEnd() && in_.peek() == '-') {
            negative = true;
            in_.get();
        }
        int digits = 0;
        while (!atEnd() && isAsciiDigit(in_.peek())) {
            // Parameters are 16 or 32 bit; saturate rather than overflow on nonsense.
            const char c = in_.get();
            if (param < 100000000L) {
                param = param * 10 + (c - '0');
            }
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
        if (!atEnd() && in_.peek() == ' ') {
            in_.get();
        }
        return true;
    }

    // Just after a backslash.
    bool handleControl(bool groupStart) {
        if (atEnd()) {
            return false;
        }
        const char c = in_.peek();
        if (!isAsciiAlpha(c)) {
            in_.get();
            return handleSymbol(c, groupStart);
        }
        readWord();
        long param = 0;
        bool hasParam = false;
        if (!readParameter(param, hasParam)) {
            return false;
        }
        return handleWord(word_, param, hasParam, groupStart);
    }

    bool handleSymbol(char c, bool groupStart) {
        switch (c) {
            case '\\':
            case '{':
            case '}':
                emitByte(c);
                return true;
            case '\'': {
                if (atEnd()) {
                    return false;
                }
                const int high = hexDigitValue(in_.get());
                if (atEnd()) {
                    return false;
                }
                const int low = hexDigitValue(in_.get());
                if (high < 0 || low < 0) {
                    return false;
                }
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
            in_.skip(hasParam && param > 0 ? static_cast<std::size_t>(param) : 0);
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
        flushWhenFull();
    }

    void emitText(std::string_view text) {
        if (dropFallback() || group().hidden) {
            return;
        }
        flushHighSurrogate();
        out_ += text;
        flushWhenFull();
    }

    void emitCodePoint(std::uint32_t cp) {
        if (dropFallback() || group().hidden) {
            return;
        }
        flushHighSurrogate();
        appendUtf8(out_, cp);
        flushWhenFull();
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
            flushWhenFull();
            return;
        }
        flushHighSurrogate();
        if (unit != 0) {
            appendUtf8(out_, unit);
            flushWhenFull();
        }
    }

    void flushHighSurrogate() {
        if (highSurrogate_ != 0) {
            appendUtf8(out_, 0xFFFD);
            highSurrogate_ = 0;
        }
    }

    void flushWhenFull() {
        if (out_.size() >= kTextPieceSize) {
            flush();
        }
    }
    void flush() {
        if (!out_.empty()) {
            sink_(out_);
            out_.clear();
        }
    }

    Source& in_;
    const std::function<void(std::string_view)>& sink_;
    std::vector<Group> groups_;
    std::string word_;
    std::string out_;
    bool atGroupStart_ = false;
    bool ranOut_ = false;
    std::uint32_t highSurrogate_ = 0;
};

// The text of a document held in memory; see rtfToText.
bool memoryRtfToText(std::string_view rtf, std::string& text, bool cutIsEnd) {
    std::string out;
    const std::function<void(std::string_view)> sink = [&](std::string_view piece) {
        out += piece;
    };
    MemorySource source(rtf);
    if (!startsAsRtf(rtf) || !RtfReader<MemorySource>(source, sink).read(cutIsEnd)) {
        text.clear();
        return false;
    }
    text = std::move(out);
    return true;
}

}  // namespace

bool rtfToText(std::string_view rtf, std::string& text) {
    return memoryRtfToText(rtf, text, false);
}

bool rtfStartToText(std::string_view rtfStart, std::string& text) {
    return memoryRtfToText(rtfStart, text, true);
}

RtfStream streamRtfText(platform::InputFile& file, std::string_view start,
                        const std::function<void(std::string_view)>& sink,
                        const std::function<bool()>& keepGoing) {
    FileSource source(file, start, keepGoing);
    if (!startsAsRtf(start)) {
        return RtfStream::NotRtf;
    }
    const bool valid = RtfReader<FileSource>(source, sink).read();
    return source.stopped() ? RtfStream::Stopped : valid ? RtfStream::Text : RtfStream::NotRtf;
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
