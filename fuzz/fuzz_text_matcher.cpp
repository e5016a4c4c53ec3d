// The full-text matcher against its definition: the page text with its line breaks removed, A-Z
// folded, contains the pattern likewise folded. Plain text in memory and files (RTF included)
// read through the scanner, with any block size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "catalogue/page_text.h"
#include "catalogue/strings.h"
#include "search/text_matcher.h"
#include "tests/support/fake_file_system.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::size_t patternSize = std::min<std::size_t>(data[0] % 16, size - 2);
    const std::size_t blockSize = data[1] < 16 ? 4096 : 1 + data[1] % 64;
    const std::string_view pattern(reinterpret_cast<const char*>(data) + 2, patternSize);
    const std::string_view text(reinterpret_cast<const char*>(data) + 2 + patternSize,
                                size - 2 - patternSize);

    const bool expected =
        !pattern.empty() && pelmaro::lowerAZ(pelmaro::joinedText(pelmaro::pageLines(text)))
                                    .find(pelmaro::lowerAZ(pattern)) != std::string::npos;
    pelmaro::FileTextScanner scanner(pattern, blockSize);
    if (!pelmaro::startsAsRtf(text) && scanner.plainTextContains(text) != expected) {
        std::abort();
    }
    static pelmaro::test::FakeFileSystem files;
    files.inMemory["/fuzz/page.htm"] = std::string(text);
    files.chunk = 1 + data[1] % 7;
    const bool found =
        scanner.scan(files, "/fuzz/page.htm") == pelmaro::FileTextScanner::Outcome::Found;
    if (found != expected) {
        std::abort();
    }
    return 0;
}
