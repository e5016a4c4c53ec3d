#pragma once

#include <cstdint>
#include <string>

#include "platform/error.h"

namespace pelmaro::platform {

// Why openKey failed when the program is to do without settings, silently: the store can't be
// read or created, or its damage was reported before.
class SettingsUnavailable : public Error {
public:
    using Error::Error;
};

// The program's settings: one key, "software\pelmaro", holding typed values ("last", a string;
// "id", a 32-bit signed integer). Values are read and written between openKey() and closeKey().
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // Why the settings could not be stored, for the user to learn at start-up rather than never;
    // empty when they can be.
    virtual std::string storeProblem() const { return {}; }

    // Opens the key, creating it when missing. Fails with SettingsUnavailable when it can't be
    // opened or created (the caller then does without settings, silently), and with another
    // Error for what the user must learn.
    virtual void openKey() = 0;
    virtual bool hasValue(const std::string& name) const = 0;
    // Fails with "Invalid data type for '%s'" when the value is not a string (a plain or an
    // expandable one; neither is expanded).
    virtual std::string readString(const std::string& name) const = 0;
    // Fails with "Invalid data type for '%s'" when the value is not an integer, and with
    // "Failed to get data for '%s'" when its data is longer than 4 bytes.
    virtual std::int32_t readInteger(const std::string& name) const = 0;
    // Fail with "Failed to set data for '%s'" when the store refuses the write.
    virtual void writeString(const std::string& name, const std::string& value) = 0;
    virtual void writeInteger(const std::string& name, std::int32_t value) = 0;
    // Makes the written values last and releases the key.
    virtual void closeKey() = 0;
};

// Runs `body` with the settings key open and closes it on every path; false, without running it,
// when the settings are unavailable (other failures to open go on to the caller). When `body`
// fails, that failure is the one reported, not a second one from closing.
template <typename Body>
bool withKeyOpen(SettingsStore& settings, Body body) {
    try {
        settings.openKey();
    } catch (const SettingsUnavailable&) {
        return false;
    }
    try {
        body();
    } catch (...) {
        try {
            settings.closeKey();
        } catch (...) {
        }
        throw;
    }
    settings.closeKey();
    return true;
}

}  // namespace pelmaro::platform
