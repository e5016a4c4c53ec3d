// Entry references and the integers in them: any text reads as an index or fails with the
// conversion error, and a reference made of a title and an index reads back as that index.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/error.h"
#include "platform/line_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const int index = pelmaro::readEntryReference(text);
        const std::size_t bar = text.rfind('|');
        const std::string_view title = bar == std::string_view::npos ? "" : text.substr(0, bar);
        if (index >= 0 &&
            pelmaro::readEntryReference(pelmaro::makeEntryReference(title, index)) != index) {
            std::abort();
        }
    } catch (const pelmaro::Error& e) {
        // A NUL in the text ends the message early (what() is a C string); stored references
        // never hold one, since a line-list file ends at its first NUL.
        const bool hasNul = text.find('\0') != std::string_view::npos;
        if (!hasNul && std::string_view(e.what()).find("is not a valid integer value") ==
                           std::string_view::npos) {
            std::abort();
        }
    }
    return 0;
}
