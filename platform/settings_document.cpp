#include "platform/settings_document.h"

#include <cstdio>

#include "platform/byte_text.h"
#include "platform/error.h"

namespace pelmaro::platform {
namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kKeyName = "HKEY_LOCAL_MACHINE\\software\\pelmaro";

constexpr std::uint32_t kString = 1;
constexpr std::uint32_t kExpandString = 2;
constexpr std::uint32_t kBinary = 3;
constexpr std::uint32_t kDword = 4;

// 1 to `maxDigits` hexadecimal digits and nothing else.
bool parseHex(std::string_view text, std::size_t maxDigits, std::uint32_t& value) {
    if (text.empty() || text.size() > maxDigits) {
        return false;
    }
    value = 0;
    for (const char c : text) {
        const int digit = hexDigitValue(c);
        if (digit < 0) {
            return false;
        }
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return true;
}

std::string littleEndian(std::uint32_t number) {
    std::string data;
    for (int i = 0; i < 4; ++i) {
        data += static_cast<char>((number >> (8 * i)) & 0xff);
    }
    return data;
}

// Reads a quoted text with the \\ and \" escapes from `rest`, which starts at the opening quote,
// and leaves `rest` after the closing one.
std::string parseQuoted(std::string_view& rest, std::size_t lineNumber, const char* what) {
    std::string out;
    std::size_t i = 1;
    for (;;) {
        if (i >= rest.size()) {
            throw SettingsDamage(lineNumber, std::string(what) + " has no closing quote");
        }
        const char c = rest[i++];
        if (c == '"') {
            break;
        }
        if (c == '\\') {
            if (i >= rest.size() || (rest[i] != '\\' && rest[i] != '"')) {
                throw SettingsDamage(
                    lineNumber, std::string(what) +
                                    " holds a \"\\\" that is not followed by \"\\\" or a quote");
            }
            out += rest[i++];
        } else {
            out += c;
        }
    }
    rest.remove_prefix(i);
    return out;
}

std::string quotedText(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    out += '"';
    return out;
}

std::string hexList(std::string_view bytes) {
    std::string out;
    char buffer[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, "%02x", static_cast<unsigned char>(bytes[i]));
        if (i > 0) {
            out += ',';
        }
        out += buffer;
    }
    return out;
}

}  // namespace

// Reads the value that starts at lines_[index], with its continuation lines, and moves `index`
// past them.
void SettingsDocument::parseValue(std::size_t& index) {
    const std::size_t first = index;
    const std::size_t lineNumber = first + 1;
    std::string_view rest = trimmed(lines_[index].text);
    ++index;

    Entry entry;
    if (rest.front() == '@') {
        rest.remove_prefix(1);  // the key's default value, named ""
    } else if (rest.front() == '"') {
        entry.name = parseQuoted(rest, lineNumber, "a value name");
    } else {
        throw SettingsDamage(lineNumber, "it is neither a key, a value nor a comment");
    }
    rest = trimmed(rest);
    if (rest.empty() || rest.front() != '=') {
        throw SettingsDamage(lineNumber, "a value name is not followed by \"=\"");
    }
    rest = trimmed(rest.substr(1));

    if (!rest.empty() && rest.front() == '"') {
        entry.value.type = kString;
        entry.value.data = parseQuoted(rest, lineNumber, "a string");
        if (!trimmed(rest).empty()) {
            throw SettingsDamage(lineNumber, "text follows the closing quote of a string");
        }
    } else if (rest == "-") {
        entry.deleted = true;
    } else if (startsWithIgnoringAsciiCase(rest, "dword:")) {
        std::uint32_t number = 0;
        if (!parseHex(trimmed(rest.substr(6)), 8, number)) {
            throw SettingsDamage(lineNumber, "a dword is not 1 to 8 hexadecimal digits");
        }
        entry.value = {kDword, littleEndian(number)};
    } else if (startsWithIgnoringAsciiCase(rest, "hex")) {
        rest.remove_prefix(3);
        entry.value.type = kBinary;  // what a plain hex: holds
        if (!rest.empty() && rest.front() == '(') {
            const auto close = rest.find(')');
            if (close == std::string_view::npos ||
                !parseHex(rest.substr(1, close - 1), 8, entry.value.type)) {
                throw SettingsDamage(lineNumber, "a hex(...) type is not a hexadecimal number");
            }
            rest.remove_prefix(close + 1);
        }
        if (rest.empty() || rest.front() != ':') {
            throw SettingsDamage(lineNumber, "a hex value has no \":\"");
        }
        rest.remove_prefix(1);
        // Long byte lists go on over lines that end in "\".
        std::string list(trimmed(rest));
        while (!list.empty() && list.back() == '\\') {
            list.pop_back();
            if (index == lines_.size()) {
                throw SettingsDamage(index, "the file ends inside a continued hex value");
            }
            list += trimmed(lines_[index].text);
            ++index;
        }
        std::string_view bytes = trimmed(list);
        while (!bytes.empty()) {
            const auto comma = bytes.find(',');
            const std::string_view item = trimmed(bytes.substr(0, comma));
            std::uint32_t byte = 0;
            if (!parseHex(item, 2, byte)) {
                throw SettingsDamage(lineNumber, "a hex value holds \"" + std::string(item) +
                                                     "\" where a byte was expected");
            }
            entry.value.data += static_cast<char>(byte);
            bytes = comma == std::string_view::npos ? std::string_view() : bytes.substr(comma + 1);
            if (comma != std::string_view::npos && trimmed(bytes).empty()) {
                break;  // a trailing comma
            }
        }
    } else {
        throw SettingsDamage(lineNumber,
                             "a value is neither a string, a dword, hex data nor \"-\"");
    }

    entry.firstLine = static_cast<int>(first);
    entry.lineCount = static_cast<int>(index - first);
    const std::string key = lowerAZ(entry.name);
    entries_[key] = std::move(entry);
}

// Splits the text into lines, checks its header and reads the values of our key. Lines of other
// keys are only carried along; they are never interpreted.
SettingsDocument parseSettings(std::string_view bytes) {
    SettingsDocument document;
    auto& lines = document.lines_;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t lf = bytes.find('\n', pos);
        SettingsDocument::Line line;
        if (lf == std::string_view::npos) {
            line.text = bytes.substr(pos);
            pos = bytes.size();
        } else {
            line.text = bytes.substr(pos, lf - pos);
            line.end = "\n";
            pos = lf + 1;
        }
        if (!line.end.empty() && !line.text.empty() && line.text.back() == '\r') {
            line.text.pop_back();
            line.end = "\r\n";
        }
        lines.push_back(std::move(line));
    }
    const std::string lineEnd =
        !lines.empty() && !lines.front().end.empty() ? lines.front().end : "\n";
    document.lineEnd_ = lineEnd;

    std::size_t index = 0;
    while (index < lines.size() && trimmed(lines[index].text).empty()) {
        ++index;
    }
    if (index == lines.size()) {
        // Empty or blank: a file just created by hand holds nothing to keep.
        lines = {{std::string(kHeader), lineEnd}, {"", lineEnd}};
        index = lines.size();
    } else if (trimmed(lines[index].text) != kHeader) {
        throw SettingsDamage(index + 1, "it does not start with \"REGEDIT4\"");
    } else {
        ++index;
    }

    bool inOurKey = false;
    bool inAnyKey = false;
    bool keyFound = false;
    while (index < lines.size()) {
        const std::string_view text = trimmed(lines[index].text);
        if (text.empty() || text.front() == ';') {
            ++index;
            continue;
        }
        if (text.front() == '[') {
            if (text.back() != ']') {
                throw SettingsDamage(index + 1, "a key name has no closing \"]\"");
            }
            inAnyKey = true;
            inOurKey = equalsIgnoringAsciiCase(text.substr(1, text.size() - 2), kKeyName);
            ++index;
            if (inOurKey) {
                keyFound = true;
                document.insertAt_ = index;
            }
            continue;
        }
        if (!inAnyKey) {
            throw SettingsDamage(index + 1, "a value stands before the first key");
        }
        if (!inOurKey) {
            ++index;
            continue;
        }
        document.parseValue(index);
        document.insertAt_ = index;
    }

    if (!keyFound) {
        if (lines.back().end.empty()) {
            lines.back().end = lineEnd;
        }
        if (!trimmed(lines.back().text).empty()) {
            lines.push_back({"", lineEnd});
        }
        lines.push_back({"[" + std::string(kKeyName) + "]", lineEnd});
        document.insertAt_ = lines.size();
        document.keyAdded_ = true;
    }
    return document;
}

namespace {

// The line of a value as regedit writes it: "last"="..." and "id"=dword:00000005. A string with a
// line break in it would split the line, so it goes as hex(1): with its terminating NUL.
std::string formatValue(const std::string& name, std::uint32_t type, const std::string& data) {
    std::string out = quotedText(name) + "=";
    if (type == kString && data.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos) {
        return out + quotedText(data);
    }
    if (type == kDword && data.size() == 4) {
        std::uint32_t number = 0;
        for (int i = 3; i >= 0; --i) {
            number = number * 256 + static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
        }
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "dword:%08x", static_cast<unsigned>(number));
        return out + buffer;
    }
    char typeTag[24];
    std::snprintf(typeTag, sizeof typeTag, "hex(%x):", static_cast<unsigned>(type));
    const bool isString = type == kString || type == kExpandString;
    return out + typeTag + hexList(isString ? data + '\0' : data);
}

}  // namespace

std::string composeSettings(const SettingsDocument& document) {
    using Entry = SettingsDocument::Entry;
    const auto& lines = document.lines_;
    std::vector<const Entry*> replacing(lines.size(), nullptr);
    std::vector<const Entry*> added;
    for (const auto& key : document.changeOrder_) {
        const Entry& entry = document.entries_.at(key);
        if (entry.firstLine >= 0) {
            replacing[static_cast<std::size_t>(entry.firstLine)] = &entry;
        } else {
            added.push_back(&entry);
        }
    }
    std::vector<SettingsDocument::Line> out;
    for (std::size_t i = 0; i <= lines.size(); ++i) {
        if (i == document.insertAt_) {
            for (const Entry* entry : added) {
                out.push_back({formatValue(entry->name, entry->value.type, entry->value.data),
                               document.lineEnd_});
            }
        }
        if (i == lines.size()) {
            break;
        }
        if (const Entry* entry = replacing[i]) {
            // The replaced value keeps its line end; a continued one ends where its last line did.
            i += static_cast<std::size_t>(entry->lineCount) - 1;
            out.push_back(
                {formatValue(entry->name, entry->value.type, entry->value.data), lines[i].end});
        } else {
            out.push_back(lines[i]);
        }
    }
    std::string bytes;
    for (std::size_t i = 0; i < out.size(); ++i) {
        bytes += out[i].text;
        bytes += out[i].end.empty() && i + 1 < out.size() ? document.lineEnd_ : out[i].end;
    }
    return bytes;
}

const SettingsDocument::Entry* SettingsDocument::find(const std::string& name) const {
    const auto found = entries_.find(lowerAZ(name));
    return found == entries_.end() || found->second.deleted ? nullptr : &found->second;
}

bool SettingsDocument::hasValue(const std::string& name) const {
    return find(name) != nullptr;
}

std::string SettingsDocument::readString(const std::string& name) const {
    const Entry* entry = find(name);
    if (entry == nullptr) {
        return {};
    }
    if (entry->value.type != kString && entry->value.type != kExpandString) {
        throw Error("Invalid data type for '" + name + "'");
    }
    // Like the registry's C strings, the text ends at the first NUL (the terminator of hex(2):).
    const std::string& data = entry->value.data;
    return data.substr(0, data.find('\0'));
}

std::int32_t SettingsDocument::readInteger(const std::string& name) const {
    const Entry* entry = find(name);
    if (entry == nullptr) {
        throw Error("Failed to get data for '" + name + "'");
    }
    if (entry->value.type != kDword) {
        throw Error("Invalid data type for '" + name + "'");
    }
    const std::string& data = entry->value.data;
    if (data.size() > 4) {
        throw Error("Failed to get data for '" + name + "'");
    }
    std::uint32_t number = 0;
    for (std::size_t i = data.size(); i > 0; --i) {
        number = number * 256 + static_cast<unsigned char>(data[i - 1]);
    }
    return static_cast<std::int32_t>(number);
}

void SettingsDocument::set(const std::string& name, Value value) {
    const std::string key = lowerAZ(name);
    Entry& entry = entries_[key];
    if (!entry.deleted && entry.firstLine >= 0 && entry.value.type == value.type &&
        entry.value.data == value.data) {
        return;
    }
    if (!entry.changed) {
        entry.changed = true;
        changeOrder_.push_back(key);
    }
    entry.name = name;
    entry.value = std::move(value);
    entry.deleted = false;
}

void SettingsDocument::writeString(const std::string& name, const std::string& value) {
    set(name, Value{kString, value});
}

void SettingsDocument::writeInteger(const std::string& name, std::int32_t value) {
    set(name, Value{kDword, littleEndian(static_cast<std::uint32_t>(value))});
}

std::optional<std::string> SettingsDocument::firstChanged() const {
    if (changeOrder_.empty()) {
        return std::nullopt;
    }
    return entries_.at(changeOrder_.front()).name;
}

}  // namespace pelmaro::platform
