// The index's trigrams of a page: when the search finds a text in the page, the page holds
// every trigram of the text, or the index would leave out a page the scan finds. Any bytes, as
// markup or plain text, are read as a build reads them, and searched for a part of their own
// shown text and for their own bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "fuzz/fuzz_page.h"
#include "index/index_builder.h"
#include "index/trigram_index.h"
#include "platform/file_system.h"
#include "search/shown_text_search.h"

namespace {

void expectTrigramsHeld(pelmaro::platform::FileSystem& files, const std::string& name,
                        const std::vector<std::uint32_t>& held, const std::string& text) {
    const std::string folded = pelmaro::foldShownText(text);
    if (folded.size() < 3) {
        return;  // every page is read for it
    }
    pelmaro::ShownTextScanner scanner(text);
    if (scanner.scan(files, name) != pelmaro::ShownTextScanner::Outcome::Found) {
        return;
    }
    for (const std::uint32_t trigram : pelmaro::index::distinctTrigrams(folded)) {
        if (!std::binary_search(held.begin(), held.end(), trigram)) {
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = pelmaro::fuzz::writtenPage(data, size);
    if (!input) {
        return 0;
    }
    pelmaro::platform::PosixFileSystem files;

    pelmaro::index::ReindexedPages read;
    pelmaro::index::BuildOptions options;
    options.vouchBefore = std::numeric_limits<std::int64_t>::max();
    if (!pelmaro::index::reindexPages(files, std::vector<std::string>{input->file}, {0}, read, {},
                                      options) ||
        read.count(0) == 0) {
        std::abort();  // a page just written, readable and not changing, is vouched for
    }
    const std::vector<std::uint32_t>& held = read.at(0).trigrams;

    expectTrigramsHeld(files, input->file, held, pelmaro::fuzz::shownPart(*input, false));
    // The bytes' own, as typed.
    const std::string_view bytes = input->bytes;
    const std::size_t start = input->pick % (bytes.size() + 1);
    const std::size_t length = std::min<std::size_t>(bytes.size() - start, 3 + input->length % 12);
    expectTrigramsHeld(files, input->file, held, std::string(bytes.substr(start, length)));
    return 0;
}
