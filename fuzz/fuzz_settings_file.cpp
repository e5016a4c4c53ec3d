// The settings file: any bytes either parse (and then values written read back after the text is
// composed and parsed again, and an unchanged document composes to the same bytes) or are
// reported as damage, never anything else.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/error.h"
#include "platform/settings_document.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pelmaro::platform;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::optional<SettingsDocument> document;
    try {
        document.emplace(parseSettings(bytes));
    } catch (const SettingsDamage&) {
        return 0;
    }
    try {
        (void)document->readString("last");
    } catch (const pelmaro::Error&) {
    }
    try {
        (void)document->readInteger("id");
    } catch (const pelmaro::Error&) {
    }
    document->writeString("last", "a\"b\\c\nd");
    document->writeInteger("id", -7);
    const SettingsDocument again = parseSettings(composeSettings(*document));
    if (again.readString("last") != "a\"b\\c\nd" || again.readInteger("id") != -7) {
        std::abort();
    }
    return 0;
}
