#include "catalogue/line_list.h"

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

std::string formatLineList(const std::vector<std::string>& items) {
    std::size_t total = 0;
    for (const auto& item : items) {
        total += item.size() + 2;
    }
    std::string out;
    out.reserve(total);
    for (const auto& item : items) {
        out += item;
        out += "\r\n";
    }
    return out;
}

std::vector<std::string> readLineListFile(platform::FileSystem& files,
                                          const std::string& fileName) {
    return parseLineList(platform::readWholeFile(files, fileName));
}

void loadList(platform::FileSystem& files, platform::ListControl& list,
              const std::string& fileName) {
    list.assign(readLineListFile(files, fileName));
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
