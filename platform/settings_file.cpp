#include "platform/settings_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include "platform/error.h"

namespace pelmaro::platform {

SettingsFile::SettingsFile(FileSystem& files, std::string fileName)
    : files_(files), fileName_(std::move(fileName)) {}

std::string SettingsFile::storeProblem() const {
    // The file is rewritten through a temporary file in its folder, or created with the folder:
    // the nearest folder that exists must let us create files.
    const std::filesystem::path settingsFolder = std::filesystem::path(fileName_).parent_path();
    std::filesystem::path folder = settingsFolder;
    std::error_code ignored;
    while (!folder.empty() && !std::filesystem::exists(folder, ignored) &&
           folder != folder.parent_path()) {
        folder = folder.parent_path();
    }
    const std::string name = folder.empty() ? std::string(".") : folder.string();
    int problem = 0;
    if (!std::filesystem::is_directory(name, ignored)) {
        problem = ENOTDIR;
    } else if (::access(name.c_str(), W_OK | X_OK) != 0) {
        problem = errno;
    } else {
        return {};
    }
    // Named as the user would look for it, with the folder it would be created in when that one
    // is the obstacle: a home folder that doesn't exist leaves only "/" to blame.
    std::string message = "Cannot store the settings in \"" +
                          (settingsFolder.empty() ? name : settingsFolder.string()) + "\"";
    if (folder != settingsFolder) {
        message += ": it can't be created in \"" + name + "\"";
    }
    return message + ". " + systemMessage(problem);
}

void SettingsFile::openKey() {
    document_.reset();
    const bool exists = files_.fileExists(fileName_);
    std::string bytes;
    if (exists) {
        try {
            bytes = readWholeFile(files_, fileName_);
        } catch (const Error& error) {
            throw SettingsUnavailable(error.what(), error.systemError());
        }
    }
    SettingsDocument document;
    try {
        document = parseSettings(bytes);
    } catch (const SettingsDamage& damage) {
        const bool reported = std::exchange(damageReported_, true);
        const std::string message =
            "The settings file \"" + fileName_ + "\" is damaged at line " +
            std::to_string(damage.line()) + ": " + damage.what() +
            ". It is left as it is, and no settings are read or stored until it is "
            "repaired or removed";
        if (reported) {
            throw SettingsUnavailable(message);
        }
        throw Error(message);
    }
    // A missing key is created now, as the registry creates it on opening: a place where no
    // settings can be stored then means a run without settings, not an error at shutdown.
    if (document.keyAdded()) {
        try {
            const auto slash = fileName_.rfind('/');
            if (!exists && slash != std::string::npos && slash > 0) {
                files_.makeFolders(fileName_.substr(0, slash));
            }
            const std::string created = composeSettings(document);
            files_.writeFile(fileName_, created);
            document = parseSettings(created);
        } catch (const Error& error) {
            throw SettingsUnavailable(error.what(), error.systemError());
        }
    }
    document_ = std::move(document);
}

bool SettingsFile::hasValue(const std::string& name) const {
    return document_ && document_->hasValue(name);
}

std::string SettingsFile::readString(const std::string& name) const {
    return document_ ? document_->readString(name) : std::string();
}

std::int32_t SettingsFile::readInteger(const std::string& name) const {
    if (!document_) {
        throw Error("Failed to get data for '" + name + "'");
    }
    return document_->readInteger(name);
}

SettingsDocument& SettingsFile::openDocument(const std::string& name) {
    if (!document_) {
        throw Error("Failed to set data for '" + name + "'");
    }
    return *document_;
}

void SettingsFile::writeString(const std::string& name, const std::string& value) {
    openDocument(name).writeString(name, value);
}

void SettingsFile::writeInteger(const std::string& name, std::int32_t value) {
    openDocument(name).writeInteger(name, value);
}

void SettingsFile::closeKey() {
    if (!document_) {
        return;
    }
    const SettingsDocument document = std::move(*document_);
    document_.reset();
    if (const auto changed = document.firstChanged()) {
        try {
            files_.writeFile(fileName_, composeSettings(document));
        } catch (const Error&) {
            throw Error("Failed to set data for '" + *changed + "'");
        }
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

std::string defaultDataFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && *data == '/') {
        return childName(data, "pelmaro");
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home == '/') {
        return childName(home, ".local/share/pelmaro");
    }
    return {};
}

std::string defaultCacheFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache != nullptr && *cache == '/') {
        return childName(cache, "pelmaro");
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home == '/') {
        return childName(home, ".cache/pelmaro");
    }
    return {};
}

}  // namespace pelmaro::platform
