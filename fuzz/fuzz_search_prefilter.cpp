// The first look at a page's bytes: a page it passes over must not show the search text. Any
// bytes, as markup or plain text, are searched for a part of their own shown text (and for the
// input's own words) with and without the first look, in one block and in small ones; the
// answers must be the same.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

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

void expectSameAnswers(pelmaro::platform::FileSystem& files, const std::string& name,
                       const std::string& text) {
    pelmaro::ShownTextScanner full(text);
    full.usePrefilter(false);
    const auto answer = full.scan(files, name);
    for (const std::size_t block : {std::size_t{1} << 20, std::size_t{16}, std::size_t{700}}) {
        pelmaro::ShownTextScanner filtered(text, block);
        if (filtered.scan(files, name) != answer) {
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

    // A part of the page's own shown text, from a letter or digit on, long enough for a first
    // look.
    pelmaro::ShownTextProducer producer;
    std::string whole;
    producer.start(isMarkup ? pelmaro::ShownKind::Markup : pelmaro::ShownKind::PlainText);
    producer.feed(bytes, whole);
    producer.finish(whole);
    std::size_t from = whole.empty() ? 0 : data[1] % whole.size();
    while (from < whole.size() && !pelmaro::isAsciiAlnum(whole[from])) {
        ++from;
    }
    if (from < whole.size()) {
        std::size_t to = std::min(whole.size(), from + 3 + data[2] % 10);
        while (to < whole.size() && (static_cast<unsigned char>(whole[to]) & 0xC0) == 0x80) {
            ++to;
        }
        expectSameAnswers(files, page.name, whole.substr(from, to - from));
    }
    // The bytes' own words, as typed: found in markup, references and split by tags, or not.
    std::size_t start = data[1] % (bytes.size() + 1);
    while (start < bytes.size() && !pelmaro::isAsciiAlnum(bytes[start])) {
        ++start;
    }
    std::size_t end = start;
    while (end < bytes.size() && end - start < 12 && pelmaro::isAsciiAlnum(bytes[end])) {
        ++end;
    }
    if (end - start >= 3) {
        expectSameAnswers(files, page.name, std::string(bytes.substr(start, end - start)));
    }
    return 0;
}
