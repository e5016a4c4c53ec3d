// The title decoder: whatever the stored title and the page's head hold, the shown text is valid
// UTF-8 and nothing crashes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "catalogue/shown_title.h"
#include "tests/support/fake_file_system.h"

namespace {

bool validUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = byte < 0x80 ? 1 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
        if ((byte >= 0x80 && byte < 0xC2) || byte > 0xF4 || i + length > text.size()) {
            return false;
        }
        char32_t code = length == 1 ? byte : byte & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    // The first byte picks the page type and how much of the rest is the stored title; the rest
    // of the input is the page.
    static const char* const kNames[] = {"/fuzz/page.htm", "/fuzz/page.txt", "/fuzz/page.xml",
                                         "/fuzz/page.gif"};
    static pelmaro::test::FakeFileSystem files;
    const std::string name = kNames[data[0] & 3];
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::size_t titleLength = std::min<std::size_t>(data[0] >> 2, rest.size());
    files.inMemory[name] = std::string(rest.substr(titleLength));
    const std::string shown = pelmaro::decodeShownTitle(files, rest.substr(0, titleLength), name);
    if (!validUtf8(shown)) {
        std::abort();
    }
    return 0;
}
