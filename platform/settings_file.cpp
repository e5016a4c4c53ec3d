#include "platform/settings_file.h"

#include <cstdlib>

namespace pelmaro::platform {

SettingsFile::SettingsFile(std::string fileName) : fileName_(std::move(fileName)) {}

bool SettingsFile::openKey() { return false; }
bool SettingsFile::hasValue(const std::string&) const { return false; }
std::string SettingsFile::readString(const std::string&) const { return {}; }
std::int32_t SettingsFile::readInteger(const std::string&) const { return 0; }
void SettingsFile::writeString(const std::string&, const std::string&) {}
void SettingsFile::writeInteger(const std::string&, std::int32_t) {}
void SettingsFile::closeKey() {}

std::string defaultSettingsFileName() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && *config != '\0') {
        return std::string(config) + "/pelmaro/settings.reg";
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config/pelmaro/settings.reg";
}

}  // namespace pelmaro::platform
