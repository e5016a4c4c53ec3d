#include "page/page_title.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "page/page_text.h"
#include "page/page_types.h"
#include "platform/file_names.h"
#include "platform/line_list.h"

namespace pelmaro {
namespace {

constexpr std::string_view kOpenTag = "<title>";
constexpr std::string_view kCloseTag = "</title>";

// Most pages name their title in their first few hundred bytes (Python's documentation: 180 to
// 370), so one small read usually does; what the page holds beyond is read in larger blocks.
constexpr std::size_t kFirstReadSize = 512;
constexpr std::size_t kBlockSize = 4096;
constexpr std::size_t kSliceSize = 512;

// The title a markup page's joined text gives, or empty when it gives none.
std::string markupTitle(std::string_view joined) {
    const std::size_t open = findIgnoringAsciiCase(joined, kOpenTag, 0);
    const std::size_t close = findIgnoringAsciiCase(joined, kCloseTag, 0);
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
        return {};
    }
    const std::string_view taken =
        joined.substr(open + kOpenTag.size(), close - open - kOpenTag.size());
    return trimmed(taken).empty() ? std::string() : std::string(taken);
}

std::string textTitle(const std::vector<std::string>& lines) {
    if (lines.empty() || trimmed(lines.front()).empty()) {
        return {};
    }
    return lines.front();
}

// Reads a page in blocks and feeds its joined text (bytes up to the first NUL, CR and LF removed)
// to a consumer until the consumer has what it needs.
class JoinedTextReader {
public:
    explicit JoinedTextReader(std::unique_ptr<platform::InputFile> file) : file_(std::move(file)) {}

    // The first bytes of the file, at least five unless the file is shorter, to tell RTF.
    std::string_view start() {
        while (!ended_ && raw_.size() < 5) {
            readMore();
        }
        return raw_;
    }

    // The file's bytes up to the search limit. `cut` tells whether the limit ended them.
    std::string readAll(bool& cut) {
        while (!ended_) {
            readMore();
        }
        cut = limitReached_;
        return std::move(raw_);
    }

    // The next piece of joined text; empty at the end of the text.
    std::string_view nextJoined() {
        for (;;) {
            if (textEnded_) {
                return {};
            }
            if (rawPos_ == raw_.size()) {
                if (ended_) {
                    return {};
                }
                raw_.clear();
                rawPos_ = 0;
                readMore();
                continue;
            }
            // A slice at a time, so that a title near the top costs only the bytes before it.
            const std::size_t length = std::min(kSliceSize, raw_.size() - rawPos_);
            const char* in = raw_.data() + rawPos_;
            rawPos_ += length;
            joined_.resize(length);
            char* out = joined_.data();
            for (std::size_t i = 0; i < length; ++i) {
                const char c = in[i];
                if (c == '\0') {
                    textEnded_ = true;
                    break;
                }
                *out = c;
                out += c != '\r' && c != '\n';
            }
            joined_.resize(static_cast<std::size_t>(out - joined_.data()));
            if (!joined_.empty() || textEnded_) {
                return joined_;
            }
        }
    }

    // The bytes of the first line: up to the first CR, LF or NUL. `hasLine` is false when the
    // text is empty, so that it has no lines at all.
    std::string firstLine(bool& hasLine) {
        std::string line;
        std::size_t scanned = 0;
        for (;;) {
            const std::size_t end = raw_.find_first_of(std::string_view("\r\n\0", 3), scanned);
            if (end != std::string::npos) {
                hasLine = end > 0 || raw_[end] != '\0';
                raw_.resize(end);
                return std::move(raw_);
            }
            scanned = raw_.size();
            // The title's length is capped: the rest of a long line is not wanted.
            if (ended_ || raw_.size() > kTitleLimit) {
                hasLine = !raw_.empty();
                return std::move(raw_);
            }
            readMore();
        }
    }

private:
    void readMore() {
        // Straight into raw_: no block buffer to allocate and copy from.
        const std::size_t wanted =
            std::min(firstRead_ ? kFirstReadSize : kBlockSize, kTitleSearchLimit - consumed_);
        firstRead_ = false;
        if (wanted == 0) {
            limitReached_ = true;
            ended_ = true;
            return;
        }
        const std::size_t had = raw_.size();
        raw_.resize(had + wanted);
        const std::size_t got = file_->read(raw_.data() + had, wanted);
        raw_.resize(had + got);
        consumed_ += got;
        if (got == 0) {
            ended_ = true;
        }
    }

    std::unique_ptr<platform::InputFile> file_;
    bool firstRead_ = true;
    std::string raw_;
    std::size_t rawPos_ = 0;  // raw_ before it has been handed out as joined text
    std::string joined_;
    bool ended_ = false;
    bool textEnded_ = false;
    std::size_t consumed_ = 0;  // bytes read from the file
    bool limitReached_ = false;
};

// Reads only until the first "<title>" and the first "</title>" are both known; the result is
// the same as markupTitle() on the whole joined text.
std::string streamedMarkupTitle(JoinedTextReader& reader) {
    // Before "<title>" is found, only the last bytes can still start a tag that a later piece
    // completes.
    std::string window;
    std::size_t open = std::string::npos;
    while (open == std::string::npos) {
        const std::string_view piece = reader.nextJoined();
        if (piece.empty()) {
            return {};
        }
        window += piece;
        open = findIgnoringAsciiCase(window, kOpenTag, 0);
        const std::size_t close = findIgnoringAsciiCase(window, kCloseTag, 0);
        if (close != std::string::npos && (open == std::string::npos || close < open)) {
            return {};  // "</title>" first: nothing can be taken
        }
        if (open == std::string::npos && window.size() > kCloseTag.size() - 1) {
            window.erase(0, window.size() - (kCloseTag.size() - 1));
        }
    }
    // Only the title's first bytes are kept (a few beyond the limit, to cut it between
    // characters), and the last few bytes seen, where a "</title>" that the next piece completes
    // may begin.
    constexpr std::size_t kKept = kTitleLimit + 4;
    std::string title;
    std::string recent = window.substr(open + kOpenTag.size());
    std::size_t before = 0;  // bytes of the element's content before `recent`
    for (;;) {
        const std::size_t close = findIgnoringAsciiCase(recent, kCloseTag, 0);
        const std::size_t end = before + (close == std::string::npos ? recent.size() : close);
        if (title.size() < kKept && end > title.size()) {
            const std::size_t from = title.size() - before;
            title.append(recent, from, std::min(end, kKept) - title.size());
        }
        if (close != std::string::npos) {
            title.resize(std::min(title.size(), end));
            return trimmed(title).empty() ? std::string() : title;
        }
        if (recent.size() > kCloseTag.size() - 1) {
            const std::size_t drop = recent.size() - (kCloseTag.size() - 1);
            recent.erase(0, drop);
            before += drop;
        }
        const std::string_view piece = reader.nextJoined();
        if (piece.empty()) {
            return {};
        }
        recent += piece;
    }
}

}  // namespace

std::string defaultPageTitle(std::string_view fileName) {
    const std::string_view name = fileNameOf(fileName);
    const std::size_t dot = name.find('.');
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(0, dot));
}

std::string extractPageTitle(platform::FileSystem& files, const std::string& fileName) {
    if (!isTextType(fileName)) {
        return defaultPageTitle(fileName);
    }
    const bool isTxt = textKindOf(fileName) == TextKind::Plain;
    JoinedTextReader reader(files.openForReading(fileName));
    std::string title;
    if (startsAsRtf(reader.start())) {
        // Rich text is read up to the limit: only its reader knows where its text begins.
        bool cut = false;
        const std::string start = reader.readAll(cut);
        std::string text;
        const bool isRtf = cut ? rtfStartToText(start, text) : rtfToText(start, text);
        const std::vector<std::string> lines = parseLineList(isRtf ? text : start);
        title = isTxt ? textTitle(lines) : markupTitle(joinedText(lines));
    } else if (isTxt) {
        bool hasLine = false;
        std::string line = reader.firstLine(hasLine);
        if (hasLine && !trimmed(line).empty()) {
            title = std::move(line);
        }
    } else {
        title = streamedMarkupTitle(reader);
    }
    title.resize(utf8Prefix(title, kTitleLimit).size());
    return trimmed(title).empty() ? defaultPageTitle(fileName) : title;
}

}  // namespace pelmaro
