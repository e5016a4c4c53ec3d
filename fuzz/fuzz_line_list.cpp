// Line-list files: any bytes parse, and what is written of the lines reads back as the same lines.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "catalogue/line_list.h"

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
    return 0;
}
