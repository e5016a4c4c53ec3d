#include "platform/line_list.h"

#include <cstdint>
#include <limits>

#include "platform/byte_text.h"
#include "platform/error.h"

namespace pelmaro {

std::vector<std::string> parseLineList(std::string_view bytes) {
    bytes = bytes.substr(0, bytes.find('\0'));
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            lines.emplace_back(bytes.substr(pos));
            break;
        }
        lines.emplace_back(bytes.substr(pos, end - pos));
        const bool crlf = bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n';
        pos = end + (crlf ? 2 : 1);
    }
    return lines;
}

std::string formatLineList(const platform::TextList& items) {
    std::string out;
    out.reserve(items.size() * 2);
    for (const std::string_view item : items) {
        out += item;
        out += "\r\n";
    }
    return out;
}

platform::TextList readLineListText(platform::FileSystem& files, const std::string& fileName,
                                    std::size_t keepAtMost, std::size_t& lineCount) {
    platform::TextList lines;
    lineCount = 0;
    const auto file = files.openForReading(fileName);
    const std::optional<std::int64_t> size = files.fileSize(fileName);
    if (size && *size > 0 && keepAtMost == std::numeric_limits<std::size_t>::max()) {
        lines.reserveBytes(static_cast<std::size_t>(*size));
    }
    // A line that goes on into the next block; every other line is taken straight from the block.
    std::string line;
    bool lineHasBytes = false;
    bool afterCr = false;
    std::string block(256 * 1024, '\0');
    bool ended = false;
    while (!ended) {
        const std::size_t got = file->read(block.data(), block.size());
        if (got == 0) {
            break;
        }
        const std::string_view bytes(block.data(), got);
        std::size_t pos = 0;
        if (afterCr) {
            afterCr = false;
            if (bytes[0] == '\n') {
                pos = 1;  // CR LF: the line already ended at the CR
            }
        }
        while (pos < bytes.size()) {
            const std::size_t end = findLineEnd(bytes, pos);
            const bool keep = lineCount < keepAtMost;
            if (end == std::string_view::npos || bytes[end] == '\0') {
                const std::string_view part = bytes.substr(pos, end - pos);
                lineHasBytes = lineHasBytes || !part.empty();
                if (keep) {
                    line.append(part);
                }
                ended = end != std::string_view::npos;  // the first NUL ends the whole text
                break;
            }
            if (keep) {
                if (line.empty()) {
                    lines.push_back(bytes.substr(pos, end - pos));
                } else {
                    line.append(bytes.substr(pos, end - pos));
                    lines.push_back(line);
                    line.clear();
                }
            }
            ++lineCount;
            lineHasBytes = false;
            pos = end + 1;
            if (bytes[end] == '\r') {
                if (pos == bytes.size()) {
                    afterCr = true;
                } else if (bytes[pos] == '\n') {
                    ++pos;
                }
            }
        }
    }
    if (lineHasBytes) {
        if (lineCount++ < keepAtMost) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::vector<std::string> readLineListFile(platform::FileSystem& files,
                                          const std::string& fileName) {
    return parseLineList(platform::readWholeFile(files, fileName));
}

void loadList(platform::FileSystem& files, platform::ListControl& list,
              const std::string& fileName) {
    std::size_t count = 0;
    list.assign(readLineListText(files, fileName, std::numeric_limits<std::size_t>::max(), count));
}

void saveList(platform::FileSystem& files, const platform::ListControl& list,
              const std::string& fileName) {
    files.writeFile(fileName, formatLineList(list.items()));
}

std::string makeEntryReference(std::string_view title, int index) {
    std::string out(title);
    out += '|';
    out += std::to_string(index);
    return out;
}

int readEntryReference(std::string_view reference) {
    const auto bar = reference.rfind('|');
    return readInteger(bar == std::string_view::npos ? reference : reference.substr(bar + 1));
}

namespace {

int digitValue(char c, int base) {
    const int value = hexDigitValue(c);
    return value < base ? value : -1;
}

}  // namespace

int readInteger(std::string_view text) {
    const auto invalid = [&]() -> Error {
        return Error("'" + std::string(text) + "' is not a valid integer value");
    };
    std::string_view rest = text;
    while (!rest.empty() && rest.front() == ' ') {
        rest.remove_prefix(1);
    }
    bool negative = false;
    if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
        negative = rest.front() == '-';
        rest.remove_prefix(1);
    }
    int base = 10;
    if (!rest.empty() && (rest.front() == '$' || rest.front() == 'x' || rest.front() == 'X')) {
        base = 16;
        rest.remove_prefix(1);
    } else if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
        base = 16;
        rest.remove_prefix(2);
    }
    if (rest.empty()) {
        throw invalid();
    }
    // One more than INT32_MAX is allowed for the magnitude of a negative number.
    const std::int64_t limit =
        static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + (negative ? 1 : 0);
    std::int64_t magnitude = 0;
    for (const char c : rest) {
        const int digit = digitValue(c, base);
        if (digit < 0) {
            throw invalid();
        }
        magnitude = magnitude * base + digit;
        if (magnitude > limit) {
            throw invalid();
        }
    }
    return static_cast<int>(negative ? -magnitude : magnitude);
}

}  // namespace pelmaro
