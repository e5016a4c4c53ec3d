#include "platform/settings_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "platform/error.h"
#include "platform/file_system.h"

namespace pelmaro::platform {
namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kKeyName = "HKEY_LOCAL_MACHINE\\software\\pelmaro";

constexpr std::uint32_t kString = 1;
constexpr std::uint32_t kExpandString = 2;
constexpr std::uint32_t kDword = 4;

// Where and why the file could not be understood; turned into the user's message by openKey().
struct Damage {
    std::size_t line;
    std::string reason;
};

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = lowerAscii(c);
    }
    return out;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && lowered(text.substr(0, prefix.size())) == prefix;
}

std::string_view trimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = lowerAscii(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// 1 to `maxDigits` hexadecimal digits and nothing else.
bool parseHex(std::string_view text, std::size_t maxDigits, std::uint32_t& value) {
    if (text.empty() || text.size() > maxDigits) {
        return false;
    }
    value = 0;
    for (const char c : text) {
        const int digit = hexDigit(c);
        if (digit < 0) {
            return false;
        }
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return true;
}

// Reads a quoted text with the \\ and \" escapes from `rest`, which starts at the opening quote,
// and leaves `rest` after the closing one.
std::string parseQuoted(std::string_view& rest, std::size_t lineNumber, const char* what) {
    std::string out;
    std::size_t i = 1;
    for (;;) {
        if (i >= rest.size()) {
            throw Damage{lineNumber, std::string(what) + " has no closing quote"};
        }
        const char c = rest[i++];
        if (c == '"') {
            break;
        }
        if (c == '\\') {
            if (i >= rest.size() || (rest[i] != '\\' && rest[i] != '"')) {
                throw Damage{lineNumber,
                             std::string(what) +
                                 " holds a \"\\\" that is not followed by \"\\\" or a quote"};
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

// The line of a value as regedit writes it: "last"="..." and "id"=dword:00000005. A string with a
// line break in it would split the line, so it goes as hex(1): with its terminating NUL.
std::string formatValue(const std::string& name, const SettingsFile::Value& value) {
    std::string out = quotedText(name) + "=";
    if (value.type == kString &&
        value.data.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos) {
        return out + quotedText(value.data);
    }
    if (value.type == kDword && value.data.size() == 4) {
        std::uint32_t number = 0;
        for (int i = 3; i >= 0; --i) {
            number =
                number * 256 + static_cast<unsigned char>(value.data[static_cast<std::size_t>(i)]);
        }
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "dword:%08x", static_cast<unsigned>(number));
        return out + buffer;
    }
    std::string data = value.data;
    if (value.type == kString || value.type == kExpandString) {
        data += '\0';
    }
    char type[24];
    std::snprintf(type, sizeof type, "hex(%x):", static_cast<unsigned>(value.type));
    return out + type + hexList(data);
}

}  // namespace

SettingsFile::SettingsFile(std::string fileName) : fileName_(std::move(fileName)) {}

// Splits the file into lines, checks its header and reads the values of our key. Lines of other
// keys are only carried along; they are never interpreted. True when the key was missing and has
// been added to the lines.
bool SettingsFile::load(const std::string& bytes) {
    lines_.clear();
    entries_.clear();
    changeOrder_.clear();
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t lf = bytes.find('\n', pos);
        Line line;
        if (lf == std::string::npos) {
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
        lines_.push_back(std::move(line));
    }
    lineEnd_ = !lines_.empty() && !lines_.front().end.empty() ? lines_.front().end : "\n";

    std::size_t index = 0;
    while (index < lines_.size() && trimBlanks(lines_[index].text).empty()) {
        ++index;
    }
    if (index == lines_.size()) {
        // Empty or blank: a file just created by hand holds nothing to keep.
        lines_.clear();
        lines_.push_back({std::string(kHeader), lineEnd_});
        lines_.push_back({"", lineEnd_});
        index = lines_.size();
    } else if (trimBlanks(lines_[index].text) != kHeader) {
        throw Damage{index + 1, "it does not start with \"REGEDIT4\""};
    } else {
        ++index;
    }

    bool inOurKey = false;
    bool inAnyKey = false;
    bool keyFound = false;
    while (index < lines_.size()) {
        const std::string_view text = trimBlanks(lines_[index].text);
        if (text.empty() || text.front() == ';') {
            ++index;
            continue;
        }
        if (text.front() == '[') {
            if (text.back() != ']') {
                throw Damage{index + 1, "a key name has no closing \"]\""};
            }
            inAnyKey = true;
            inOurKey = lowered(text.substr(1, text.size() - 2)) == lowered(kKeyName);
            ++index;
            if (inOurKey) {
                keyFound = true;
                insertAt_ = index;
            }
            continue;
        }
        if (!inAnyKey) {
            throw Damage{index + 1, "a value stands before the first key"};
        }
        if (!inOurKey) {
            ++index;
            continue;
        }
        parseKeyLine(index);
        insertAt_ = index;
    }

    if (!keyFound) {
        if (!lines_.empty() && lines_.back().end.empty()) {
            lines_.back().end = lineEnd_;
        }
        if (!trimBlanks(lines_.back().text).empty()) {
            lines_.push_back({"", lineEnd_});
        }
        lines_.push_back({"[" + std::string(kKeyName) + "]", lineEnd_});
        insertAt_ = lines_.size();
    }
    return !keyFound;
}

// Reads the value that starts at lines_[index], with its continuation lines, and moves `index`
// past them.
void SettingsFile::parseKeyLine(std::size_t& index) {
    const std::size_t first = index;
    const std::size_t lineNumber = first + 1;
    std::string_view rest = trimBlanks(lines_[index].text);
    ++index;

    Entry entry;
    if (rest.front() == '@') {
        rest.remove_prefix(1);  // the key's default value, named ""
    } else if (rest.front() == '"') {
        entry.name = parseQuoted(rest, lineNumber, "a value name");
    } else {
        throw Damage{lineNumber, "it is neither a key, a value nor a comment"};
    }
    rest = trimBlanks(rest);
    if (rest.empty() || rest.front() != '=') {
        throw Damage{lineNumber, "a value name is not followed by \"=\""};
    }
    rest = trimBlanks(rest.substr(1));

    if (!rest.empty() && rest.front() == '"') {
        entry.value.type = kString;
        entry.value.data = parseQuoted(rest, lineNumber, "a string");
        if (!trimBlanks(rest).empty()) {
            throw Damage{lineNumber, "text follows the closing quote of a string"};
        }
    } else if (rest == "-") {
        entry.deleted = true;
    } else if (startsWithNoCase(rest, "dword:")) {
        std::uint32_t number = 0;
        if (!parseHex(trimBlanks(rest.substr(6)), 8, number)) {
            throw Damage{lineNumber, "a dword is not 1 to 8 hexadecimal digits"};
        }
        entry.value.type = kDword;
        for (int i = 0; i < 4; ++i) {
            entry.value.data += static_cast<char>((number >> (8 * i)) & 0xff);
        }
    } else if (startsWithNoCase(rest, "hex")) {
        rest.remove_prefix(3);
        entry.value.type = 3;  // plain hex: is binary data
        if (!rest.empty() && rest.front() == '(') {
            const auto close = rest.find(')');
            if (close == std::string_view::npos ||
                !parseHex(rest.substr(1, close - 1), 8, entry.value.type)) {
                throw Damage{lineNumber, "a hex(...) type is not a hexadecimal number"};
            }
            rest.remove_prefix(close + 1);
        }
        if (rest.empty() || rest.front() != ':') {
            throw Damage{lineNumber, "a hex value has no \":\""};
        }
        rest.remove_prefix(1);
        // Long byte lists go on over lines that end in "\".
        std::string list(trimBlanks(rest));
        while (!list.empty() && list.back() == '\\') {
            list.pop_back();
            if (index == lines_.size()) {
                throw Damage{index, "the file ends inside a continued hex value"};
            }
            list += trimBlanks(lines_[index].text);
            ++index;
        }
        std::string_view bytes = trimBlanks(list);
        while (!bytes.empty()) {
            const auto comma = bytes.find(',');
            const std::string_view item = trimBlanks(bytes.substr(0, comma));
            std::uint32_t byte = 0;
            if (!parseHex(item, 2, byte)) {
                throw Damage{lineNumber, "a hex value holds \"" + std::string(item) +
                                             "\" where a byte was expected"};
            }
            entry.value.data += static_cast<char>(byte);
            bytes = comma == std::string_view::npos ? std::string_view() : bytes.substr(comma + 1);
            if (comma != std::string_view::npos && trimBlanks(bytes).empty()) {
                break;  // a trailing comma
            }
        }
    } else {
        throw Damage{lineNumber, "a value is neither a string, a dword, hex data nor \"-\""};
    }

    entry.firstLine = static_cast<int>(first);
    entry.lineCount = static_cast<int>(index - first);
    const std::string key = lowered(entry.name);
    entries_[key] = std::move(entry);
}

std::string SettingsFile::storeProblem() const {
    // The file is rewritten through a temporary file in its folder, or created with the folder:
    // the nearest folder that exists must let us create files.
    std::filesystem::path folder = std::filesystem::path(fileName_).parent_path();
    std::error_code ignored;
    while (!folder.empty() && !std::filesystem::exists(folder, ignored) &&
           folder != folder.parent_path()) {
        folder = folder.parent_path();
    }
    const std::string name = folder.empty() ? std::string(".") : folder.string();
    if (!std::filesystem::is_directory(name, ignored)) {
        return "Cannot store the settings in \"" + name + "\". " + systemMessage(ENOTDIR);
    }
    if (::access(name.c_str(), W_OK | X_OK) != 0) {
        return "Cannot store the settings in \"" + name + "\". " + systemMessage(errno);
    }
    return {};
}

bool SettingsFile::openKey() {
    open_ = false;
    struct stat info {};
    if (::stat(fileName_.c_str(), &info) != 0) {
        if (errno != ENOENT || fileName_.empty()) {
            return false;
        }
        std::error_code ignored;  // writeBack() tells whether the folder is there
        std::filesystem::create_directories(std::filesystem::path(fileName_).parent_path(),
                                            ignored);
        load({});
        if (!writeBack()) {
            return false;
        }
        open_ = true;
        return true;
    }

    std::string bytes;
    try {
        PosixFileSystem files;
        bytes = readWholeFile(files, fileName_);
    } catch (const Error&) {
        return false;
    }
    bool keyAdded = false;
    try {
        keyAdded = load(bytes);
    } catch (const Damage& damage) {
        lines_.clear();
        entries_.clear();
        if (damageReported_) {
            return false;
        }
        damageReported_ = true;
        throw Error("The settings file \"" + fileName_ + "\" is damaged at line " +
                    std::to_string(damage.line) + ": " + damage.reason +
                    ". It is left as it is, and no settings are read or stored until it is "
                    "repaired or removed");
    }
    // The key was missing and has been added: create it now, as opening the key promises.
    if (keyAdded && !writeBack()) {
        return false;
    }
    open_ = true;
    return true;
}

const SettingsFile::Entry* SettingsFile::find(const std::string& name) const {
    if (!open_) {
        return nullptr;
    }
    const auto found = entries_.find(lowered(name));
    return found == entries_.end() || found->second.deleted ? nullptr : &found->second;
}

bool SettingsFile::hasValue(const std::string& name) const {
    return find(name) != nullptr;
}

std::string SettingsFile::readString(const std::string& name) const {
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

std::int32_t SettingsFile::readInteger(const std::string& name) const {
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

void SettingsFile::set(const std::string& name, Value value) {
    if (!open_) {
        throw Error("Failed to set data for '" + name + "'");
    }
    const std::string key = lowered(name);
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

void SettingsFile::writeString(const std::string& name, const std::string& value) {
    set(name, Value{kString, value});
}

void SettingsFile::writeInteger(const std::string& name, std::int32_t value) {
    const auto number = static_cast<std::uint32_t>(value);
    std::string data;
    for (int i = 0; i < 4; ++i) {
        data += static_cast<char>((number >> (8 * i)) & 0xff);
    }
    set(name, Value{kDword, std::move(data)});
}

std::string SettingsFile::compose() const {
    std::vector<const Entry*> replacing(lines_.size(), nullptr);
    std::vector<const Entry*> added;
    for (const auto& key : changeOrder_) {
        const Entry& entry = entries_.at(key);
        if (entry.firstLine >= 0) {
            replacing[static_cast<std::size_t>(entry.firstLine)] = &entry;
        } else {
            added.push_back(&entry);
        }
    }
    std::vector<Line> out;
    for (std::size_t i = 0; i <= lines_.size(); ++i) {
        if (i == insertAt_) {
            for (const Entry* entry : added) {
                out.push_back({formatValue(entry->name, entry->value), lineEnd_});
            }
        }
        if (i == lines_.size()) {
            break;
        }
        if (const Entry* entry = replacing[i]) {
            // The replaced value keeps its line end; a continued one ends where its last line did.
            i += static_cast<std::size_t>(entry->lineCount) - 1;
            out.push_back({formatValue(entry->name, entry->value), lines_[i].end});
        } else {
            out.push_back(lines_[i]);
        }
    }
    std::string bytes;
    for (std::size_t i = 0; i < out.size(); ++i) {
        bytes += out[i].text;
        bytes += out[i].end.empty() && i + 1 < out.size() ? lineEnd_ : out[i].end;
    }
    return bytes;
}

// Writes through a link to its target, so that a settings file kept elsewhere and linked into
// the configuration folder stays where it is.
bool SettingsFile::writeBack() const {
    std::error_code error;
    const auto target = std::filesystem::canonical(fileName_, error);
    try {
        PosixFileSystem files;
        files.writeFile(error ? fileName_ : target.string(), compose());
        return true;
    } catch (const Error&) {
        return false;
    }
}

void SettingsFile::closeKey() {
    if (!open_) {
        return;
    }
    open_ = false;
    if (changeOrder_.empty()) {
        return;
    }
    const bool written = writeBack();
    const std::string firstChanged = entries_.at(changeOrder_.front()).name;
    changeOrder_.clear();
    entries_.clear();
    lines_.clear();
    if (!written) {
        throw Error("Failed to set data for '" + firstChanged + "'");
    }
}

std::string defaultSettingsFileName() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && *config != '\0') {
        return std::string(config) + "/pelmaro/settings.reg";
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config/pelmaro/settings.reg";
}

}  // namespace pelmaro::platform
