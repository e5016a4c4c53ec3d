#pragma once

#include <map>
#include <string>

#include "platform/settings_store.h"

namespace pelmaro::platform {

// The settings kept in one text file in the REGEDIT4 export format:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\software\pelmaro]
//   "last"="/home/user/help/pelmaropath.bookmark"
//   "id"=dword:00000005
class SettingsFile final : public SettingsStore {
public:
    explicit SettingsFile(std::string fileName);

    bool openKey() override;
    bool hasValue(const std::string& name) const override;
    std::string readString(const std::string& name) const override;
    std::int32_t readInteger(const std::string& name) const override;
    void writeString(const std::string& name, const std::string& value) override;
    void writeInteger(const std::string& name, std::int32_t value) override;
    void closeKey() override;

private:
    std::string fileName_;
};

// $XDG_CONFIG_HOME/pelmaro/settings.reg, or ~/.config/pelmaro/settings.reg when it is unset.
std::string defaultSettingsFileName();

}  // namespace pelmaro::platform
