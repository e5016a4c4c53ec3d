#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/file_system.h"
#include "platform/settings_document.h"
#include "platform/settings_store.h"

namespace pelmaro::platform {

// The settings kept in one file in the REGEDIT4 export format (see SettingsDocument).
//
// openKey() reads the file anew; the values written are kept in memory and the file is rewritten
// at closeKey(), only when a value changed. Everything in the file other than the values written
// is written back as it was.
//
// A file that can't be parsed is never written. The first openKey() that meets it fails with an
// Error naming the file and the line; later ones fail with SettingsUnavailable, so one object used
// for the whole run reports it once.
class SettingsFile final : public SettingsStore {
public:
    SettingsFile(FileSystem& files, std::string fileName);

    // A missing file holds no settings: as the registry creates a missing key, opening creates
    // the file's folder and the file holding the empty key. Fails with SettingsUnavailable, giving
    // the file system's reason, when the file can't be read or created.
    void openKey() override;
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
    // then rather than never: "Cannot store the settings in "%s". %s" naming the settings'
    // folder, with ": it can't be created in "%s"" before the reason when a folder above it is
    // what can't be written; empty when they can be stored.
    std::string storeProblem() const override;

private:
    SettingsDocument& openDocument(const std::string& name);

    FileSystem& files_;
    std::string fileName_;
    std::optional<SettingsDocument> document_;  // while the key is open
    bool damageReported_ = false;
};

// $XDG_CONFIG_HOME/pelmaro/settings.reg, or ~/.config/pelmaro/settings.reg when it is unset.
std::string defaultSettingsFileName();
// Where the program keeps what it can't keep beside the files it belongs to (the catalogues of
// folders that can't be written): $XDG_DATA_HOME/pelmaro, or ~/.local/share/pelmaro when that is
// unset or not absolute; empty when neither is known.
std::string defaultDataFolder();
// Where the program keeps what can be made again from the files (the search indexes):
// $XDG_CACHE_HOME/pelmaro, or ~/.cache/pelmaro; empty when neither is known.
std::string defaultCacheFolder();

}  // namespace pelmaro::platform
