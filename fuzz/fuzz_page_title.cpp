// Page titles: the title read in pieces, stopping early, is the one the rules give for the whole
// file (cut to the limit), whatever the read block size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "page/page_text.h"
#include "page/page_title.h"
#include "platform/file_names.h"
#include "tests/support/fake_file_system.h"

namespace {

std::string referenceTitle(std::string_view bytes, bool isText, const std::string& name) {
    const std::vector<std::string> lines = pelmaro::pageLines(bytes);
    std::string taken;
    if (isText) {
        taken = lines.empty() ? std::string() : lines.front();
    } else {
        const std::string joined = pelmaro::joinedText(lines);
        const std::string lower = pelmaro::lowerAZ(joined);
        const auto open = lower.find("<title>");
        const auto close = lower.find("</title>");
        if (open != std::string::npos && close != std::string::npos && close > open) {
            taken = joined.substr(open + 7, close - open - 7);
        }
    }
    const std::string_view capped = pelmaro::utf8Prefix(taken, pelmaro::kTitleLimit);
    return pelmaro::trimmed(capped).empty() ? pelmaro::defaultPageTitle(name) : std::string(capped);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    static pelmaro::test::FakeFileSystem files;
    const bool isText = (data[0] & 1) != 0;
    const std::string name = isText ? "/fuzz/page.txt" : "/fuzz/page.htm";
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    files.inMemory[name] = bytes;
    files.chunk = 1 + (data[0] >> 1) % 64;
    if (pelmaro::extractPageTitle(files, name) != referenceTitle(bytes, isText, name)) {
        std::abort();
    }
    return 0;
}
