// The title decoder: whatever the stored title and the page's head hold, the shown text is valid
// UTF-8 and nothing crashes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "page/shown_title.h"
#include "page/text_encoding.h"
#include "tests/support/fake_file_system.h"

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
    if (!pelmaro::isValidUtf8(shown)) {
        std::abort();
    }
    return 0;
}
