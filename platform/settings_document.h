#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pelmaro::platform {

// The settings as text in the REGEDIT4 export format:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\software\pelmaro]
//   "last"="/home/user/help/pelmaropath.bookmark"
//   "id"=dword:00000005
//
// Strings are bytes with "\" and "\"" escaped as "\\" and "\\\""; a string holding a line break
// is written as hex(1): so that it stays on its line. Read: "..." and hex(1): as strings,
// hex(2): as an expandable string (never expanded), dword: and hex(4): as integers; key and value
// names compare without regard to ASCII case, as in the registry. Lines may end in LF or CR LF.

// Why bytes are not settings, and the line (from 1) where that shows.
class SettingsDamage : public std::runtime_error {
public:
    SettingsDamage(std::size_t line, const std::string& reason)
        : std::runtime_error(reason), line_(line) {}
    std::size_t line() const { return line_; }

private:
    std::size_t line_;
};

// The values of the key "software\pelmaro" read from a settings text, and everything else in the
// text (other keys, other values, comments, line ends), carried along untouched so that composing
// gives it back byte for byte.
class SettingsDocument {
public:
    // A value removed by "name"=- counts as absent.
    bool hasValue(const std::string& name) const;
    // A missing value reads as the empty string; anything but a string fails with "Invalid data
    // type for '%s'".
    std::string readString(const std::string& name) const;
    // A missing value, or one longer than 4 bytes, fails with "Failed to get data for '%s'";
    // anything but a dword with "Invalid data type for '%s'".
    std::int32_t readInteger(const std::string& name) const;
    // Writing what the value already holds changes nothing.
    void writeString(const std::string& name, const std::string& value);
    void writeInteger(const std::string& name, std::int32_t value);

    // The text had no key of ours (a new file, for one): composing adds it.
    bool keyAdded() const { return keyAdded_; }
    // The first value given new content, named as the writer named it; empty while composing
    // would give back the text as read (the key aside).
    std::optional<std::string> firstChanged() const;

private:
    friend SettingsDocument parseSettings(std::string_view bytes);
    friend std::string composeSettings(const SettingsDocument& document);

    // One value as the text gives it. `type` is the registry's type number: 1 string,
    // 2 expandable string, 3 binary, 4 dword, and so on; `data` its bytes (a string's without
    // its terminating NUL, a dword's four bytes little-endian first).
    struct Value {
        std::uint32_t type = 0;
        std::string data;
    };
    struct Line {
        std::string text;  // without its line end
        std::string end;   // "\n", "\r\n", or "" for a last line without one
    };
    struct Entry {
        std::string name;  // as written in the text or by the caller
        Value value;
        bool deleted = false;  // "name"=- in the text
        int firstLine = -1;    // -1: not in the text yet
        int lineCount = 0;
        bool changed = false;
    };

    void parseValue(std::size_t& index);
    const Entry* find(const std::string& name) const;
    void set(const std::string& name, Value value);

    std::vector<Line> lines_;
    std::string lineEnd_ = "\n";
    bool keyAdded_ = false;
    // Values of the key by lower-cased name; the last of several with one name counts, as on
    // import.
    std::map<std::string, Entry> entries_;
    std::vector<std::string> changeOrder_;
    // Where values new to the text are inserted: after the last value of the key.
    std::size_t insertAt_ = 0;
};

// Reads a settings text. Empty or blank bytes (a new file) give the empty key. Throws
// SettingsDamage for a text that is not REGEDIT4 or holds a line it can't read.
SettingsDocument parseSettings(std::string_view bytes);

// The text as parsed, with the values written replaced where they stood and new ones added after
// the key's last value; when the key was missing, it is appended.
std::string composeSettings(const SettingsDocument& document);

}  // namespace pelmaro::platform
