// The index's trigrams of a page: when the search finds a text in the page, the page holds
// every trigram of the text, or the index would leave out a page the scan finds. Any bytes, as
// markup or plain text, are read as a build reads them, and searched for a part of their own
// shown text and for their own words.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "index/index_builder.h"
#include "index/trigram_index.h"
#include "platform/byte_text.h"
#include "platform/file_system.h"
#include "search/shown_text.h"
#include "search/shown_text_search.h"

namespace {

// The page's file: written anew for each input.
struct PageFile {
    std::string name;
    explicit PageFile(const char* extension) {
        std::string pattern = "/tmp/pelmaro-fuzz-XXXXXX";
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) {
            std::abort();
        }
        ::close(fd);
        ::unlink(pattern.c_str());
        name = pattern + extension;
    }
    ~PageFile() { ::unlink(name.c_str()); }
    void write(std::string_view bytes) const {
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0 ||
            ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            std::abort();
        }
        ::close(fd);
    }
};

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
    if (size < 3) {
        return 0;
    }
    static const PageFile markup(".htm");
    static const PageFile plain(".txt");
    const bool isMarkup = data[0] % 2 == 0;
    const PageFile& page = isMarkup ? markup : plain;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 3, size - 3);
    page.write(bytes);
    pelmaro::platform::PosixFileSystem files;

    pelmaro::index::ReindexedPages read;
    pelmaro::index::BuildOptions options;
    options.vouchBefore = std::numeric_limits<std::int64_t>::max();
    const std::vector<std::string> paths = {page.name};
    if (!pelmaro::index::reindexPages(files, paths, {0}, read, {}, options) || read.count(0) == 0) {
        std::abort();  // a page just written, readable and not changing, is vouched for
    }
    const std::vector<std::uint32_t>& held = read.at(0).trigrams;

    // A part of the page's own shown text.
    pelmaro::ShownTextProducer producer;
    std::string whole;
    producer.start(isMarkup ? pelmaro::ShownKind::Markup : pelmaro::ShownKind::PlainText);
    producer.feed(bytes, whole);
    producer.finish(whole);
    std::size_t from = whole.empty() ? 0 : data[1] % whole.size();
    while (from < whole.size() && (static_cast<unsigned char>(whole[from]) & 0xC0) == 0x80) {
        ++from;
    }
    std::size_t to = std::min(whole.size(), from + 3 + data[2] % 10);
    while (to < whole.size() && (static_cast<unsigned char>(whole[to]) & 0xC0) == 0x80) {
        ++to;
    }
    expectTrigramsHeld(files, page.name, held, whole.substr(from, to - from));
    // The bytes' own words and what follows them, as typed.
    const std::size_t start = data[1] % (bytes.size() + 1);
    const std::size_t length = std::min<std::size_t>(bytes.size() - start, 3 + data[2] % 12);
    expectTrigramsHeld(files, page.name, held, std::string(bytes.substr(start, length)));
    return 0;
}
