// Line-list files: any bytes parse, and what is written of the lines reads back as the same lines.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/line_list.h"
#include "tests/support/fake_file_system.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = pelmaro::parseLineList(bytes);
    for (const std::string& line : lines) {
        if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
            std::abort();
        }
    }
    if (pelmaro::parseLineList(pelmaro::formatLineList(lines)) != lines) {
        std::abort();
    }
    // Read from a file in blocks of any size, into the compact list, keeping some or all.
    static pelmaro::test::FakeFileSystem files;
    files.inMemory["/fuzz/list"] = std::string(bytes);
    // Blocks of 1 to 67 bytes: a line end at every place of a block, and blocks long enough for
    // the sixteen-byte look for line ends.
    files.chunk = 1 + size % 67;
    std::size_t count = 0;
    const pelmaro::platform::TextList all =
        pelmaro::readLineListText(files, "/fuzz/list", SIZE_MAX, count);
    if (!(all == lines) || count != lines.size()) {
        std::abort();
    }
    const std::size_t kept = lines.size() / 2;
    const pelmaro::platform::TextList some =
        pelmaro::readLineListText(files, "/fuzz/list", kept, count);
    if (!(some == std::vector<std::string>(lines.begin(),
                                           lines.begin() + static_cast<std::ptrdiff_t>(kept))) ||
        count != lines.size()) {
        std::abort();
    }
    return 0;
}
