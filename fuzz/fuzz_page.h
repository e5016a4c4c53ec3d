// What the fuzz targets of the full-text search share: an input as a page, written to a file
// as the search reads pages, and the page's own shown text, to take search texts from.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/byte_text.h"
#include "search/shown_text.h"

namespace pelmaro::fuzz {

// An input's first three bytes choose how its page is read (markup or plain text) and which
// texts are searched for; the rest is the page, written to `file`.
struct PageInput {
    bool markup = true;
    std::uint8_t pick = 0;
    std::uint8_t length = 0;
    std::string_view bytes;
    std::string file;
};

// A file in /tmp, gone with the process's end.
class PageFile {
public:
    explicit PageFile(const char* extension) {
        std::string pattern = "/tmp/pelmaro-fuzz-XXXXXX";
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) {
            std::abort();
        }
        ::close(fd);
        ::unlink(pattern.c_str());
        name_ = pattern + extension;
    }
    ~PageFile() { ::unlink(name_.c_str()); }
    PageFile(const PageFile&) = delete;
    PageFile& operator=(const PageFile&) = delete;

    const std::string& write(std::string_view bytes) const {
        const int fd = ::open(name_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0 ||
            ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            std::abort();
        }
        ::close(fd);
        return name_;
    }

private:
    std::string name_;
};

// The input as a page, written to its file (".htm" or ".txt", as the input reads it); nullopt
// for an input too short to choose.
inline std::optional<PageInput> writtenPage(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return std::nullopt;
    }
    static const PageFile markup(".htm");
    static const PageFile plain(".txt");
    PageInput input{data[0] % 2 == 0,
                    data[1],
                    data[2],
                    std::string_view(reinterpret_cast<const char*>(data) + 3, size - 3),
                    {}};
    input.file = (input.markup ? markup : plain).write(input.bytes);
    return input;
}

// The page's shown text, whole, as the search folds it.
inline std::string shownTextOf(const PageInput& input) {
    ShownTextProducer producer;
    std::string shown;
    producer.start(input.markup ? ShownKind::Markup : ShownKind::PlainText);
    producer.feed(input.bytes, shown);
    producer.finish(shown);
    return shown;
}

// text[from, to) (each at most text.size()), widened to whole UTF-8 characters.
inline std::string wholeCharacters(std::string_view text, std::size_t from, std::size_t to) {
    const auto inside = [&](std::size_t at) {
        return at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
    };
    while (from > 0 && inside(from)) {
        --from;
    }
    while (inside(to)) {
        ++to;
    }
    return std::string(text.substr(from, to - from));
}

// A part of the page's own shown text to search for: from the place the input picks (moved on
// to a letter or digit when `fromLetterOrDigit`), three to twelve bytes long as the input
// chooses, whole characters; empty when there is none.
inline std::string shownPart(const PageInput& input, bool fromLetterOrDigit) {
    const std::string shown = shownTextOf(input);
    std::size_t from = shown.empty() ? 0 : input.pick % shown.size();
    while (fromLetterOrDigit && from < shown.size() && !isAsciiAlnum(shown[from])) {
        ++from;
    }
    const std::size_t to = std::min(shown.size(), from + 3 + input.length % 10);
    return wholeCharacters(shown, from, to);
}

}  // namespace pelmaro::fuzz
