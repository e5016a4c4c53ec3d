// Ignore files and clicked links are a folder's own bytes: any rules parse and match every name
// quickly, and a mail link handed to the desktop never carries more than the message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "browsing/outside_links.h"
#include "catalogue/ignore_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The rules, then after a NUL the names to match, a line each.
    const std::size_t split = bytes.find('\0');
    pelmaro::IgnoreRules rules;
    rules.addLines(bytes.substr(0, split));
    std::string_view names = split == std::string_view::npos ? bytes : bytes.substr(split + 1);
    while (!names.empty()) {
        const std::size_t end = names.find('\n');
        const std::string_view name = names.substr(0, end);
        const bool asFile = rules.ignores(name, false);
        const bool asFolder = rules.ignores(name, true);
        (void)asFile;
        (void)asFolder;
        if (end == std::string_view::npos) {
            break;
        }
        names.remove_prefix(end + 1);
    }

    const std::optional<std::string> link = pelmaro::browsing::linkForDesktop(std::string(bytes));
    if (link && link->size() > size) {
        std::abort();
    }
    if (link && std::string_view(*link).substr(0, 7) != bytes.substr(0, 7)) {
        std::abort();  // the scheme is never changed
    }
    return 0;
}
