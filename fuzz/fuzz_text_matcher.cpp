// The full-text matcher against its definition: the page text with its line breaks removed, A-Z
// folded, contains the pattern likewise folded (and a page in a declared encoding may match in
// that encoding too). Plain text in memory and files (RTF included)
// read through the scanner, with any block size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "page/page_text.h"
#include "page/text_encoding.h"
#include "platform/file_names.h"
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
    // A page also matches in the encoding it declares (a byte-order mark, a meta charset), so
    // the scanner may find more than the bytes hold, but only on a page that declares one other
    // than UTF-8; it never misses what the bytes hold.
    const pelmaro::PageEncoding declared = pelmaro::sniffPageEncoding(
        text.substr(0, std::min(text.size(), pelmaro::kPageHeadSize)), true);
    const bool otherEncoding = !declared.name.empty() && declared.name != "UTF-8";
    if (found != expected && !(found && otherEncoding)) {
        std::abort();
    }
    return 0;
}
