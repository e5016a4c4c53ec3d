#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/settings_store.h"

namespace pelmaro::platform {

// The settings kept in one text file in the REGEDIT4 export format:
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
//
// openKey() reads the file anew; the values written are kept in memory and the file is rewritten
// at closeKey(), only when something changed, through a temporary file renamed over the old one.
// Everything in the file other than the values written (other keys, other values, comments, line
// ends) is written back as it was.
//
// A file that can't be parsed is never written. The first openKey() that meets it fails with an
// Error naming the file and the line; later ones return false without a word, so one object used
// for the whole run reports it once.
class SettingsFile final : public SettingsStore {
public:
    explicit SettingsFile(std::string fileName);

    // Creates the file's folder and the file holding the empty key when the file is missing.
    // False when the file can't be read or created.
    bool openKey() override;
    bool hasValue(const std::string& name) const override;
    // A missing value reads as the empty string.
    std::string readString(const std::string& name) const override;
    // A missing value fails with "Failed to get data for '%s'".
    std::int32_t readInteger(const std::string& name) const override;
    // Fail with "Failed to set data for '%s'" when the key is not open.
    void writeString(const std::string& name, const std::string& value) override;
    void writeInteger(const std::string& name, std::int32_t value) override;
    // Fails with "Failed to set data for '%s'" (the first value changed) when the file can't be
    // rewritten; the file then keeps its old content.
    void closeKey() override;

    const std::string& fileName() const { return fileName_; }

    // Why the settings could not be stored, asked once at start-up so that the user learns it
    // then rather than never: "Cannot store the settings in "%s". %s" naming the folder that
    // can't be written (or created); empty when they can be stored.
    std::string storeProblem() const;

    // One value as the file gives it. `type` is the registry's type number: 1 string,
    // 2 expandable string, 3 binary, 4 dword, and so on; `data` its bytes (a string's without
    // its terminating NUL, a dword's four bytes little-endian first).
    struct Value {
        std::uint32_t type = 0;
        std::string data;
    };

private:
    struct Line {
        std::string text;  // without its line end
        std::string end;   // "\n", "\r\n", or "" for a last line without one
    };
    struct Entry {
        std::string name;  // as written in the file or by the caller
        Value value;
        bool deleted = false;  // "name"=- in the file
        int firstLine = -1;    // -1: not in the file yet
        int lineCount = 0;
        bool changed = false;
    };

    bool load(const std::string& bytes);
    void parseKeyLine(std::size_t& index);
    bool writeBack() const;
    std::string compose() const;
    const Entry* find(const std::string& name) const;
    void set(const std::string& name, Value value);

    std::string fileName_;
    bool open_ = false;
    bool damageReported_ = false;
    std::vector<Line> lines_;
    std::string lineEnd_ = "\n";
    // Values of the key by lower-cased name; the last of several with one name counts, as on
    // import.
    std::map<std::string, Entry> entries_;
    std::vector<std::string> changeOrder_;
    // Where values new to the file are inserted: after the last value of the key.
    std::size_t insertAt_ = 0;
};

// $XDG_CONFIG_HOME/pelmaro/settings.reg, or ~/.config/pelmaro/settings.reg when it is unset.
std::string defaultSettingsFileName();

}  // namespace pelmaro::platform
