// The settings file: any bytes either open (and then a value written reads back after the file
// is rewritten) or are reported as damaged, never written.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/error.h"
#include "platform/settings_file.h"

namespace {

std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A file in memory-backed storage where there is some: the file is rewritten with a sync.
std::string scratchFile() {
    std::error_code ignored;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ignored)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    return (base / ("pelmaro-fuzz-settings-" + std::to_string(::getpid()) + ".reg")).string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string name = scratchFile();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;

    pelmaro::platform::SettingsFile settings(name);
    bool opened = false;
    try {
        opened = settings.openKey();
    } catch (const pelmaro::Error&) {
        if (readFile(name) != bytes) {
            std::abort();  // a damaged file is never written
        }
        return 0;
    }
    if (!opened) {
        return 0;
    }
    try {
        (void)settings.readString("last");
    } catch (const pelmaro::Error&) {
    }
    try {
        (void)settings.readInteger("id");
    } catch (const pelmaro::Error&) {
    }
    settings.writeString("last", "a\"b\\c\nd");
    settings.writeInteger("id", -7);
    settings.closeKey();

    pelmaro::platform::SettingsFile again(name);
    if (!again.openKey() || again.readString("last") != "a\"b\\c\nd" ||
        again.readInteger("id") != -7) {
        std::abort();
    }
    again.closeKey();
    return 0;
}
