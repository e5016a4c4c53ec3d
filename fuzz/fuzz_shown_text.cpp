// Shown text: any bytes, as markup or plain text, given in pieces of any size (one byte: no bulk
// path), give what they give whole; the result is UTF-8 with single spaces and none at either end;
// and any part of it is found by the matcher however the text is cut. The text in its own letters
// folds to it, and a part of it is found there where the folded offsets say. Markup taken up
// afresh at any of its resume points makes the end of the same shown text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "page/text_encoding.h"
#include "search/case_fold.h"
#include "search/shown_text.h"
#include "search/shown_text_search.h"

namespace {

std::string produce(
    pelmaro::ShownTextProducer& producer, pelmaro::ShownKind kind, std::string_view bytes,
    std::size_t piece,
    pelmaro::ShownTextProducer::Letters letters = pelmaro::ShownTextProducer::Letters::Folded) {
    std::string out;
    producer.start(kind, pelmaro::ShownTextProducer::Encoding::Detect, letters);
    while (!bytes.empty()) {
        const std::size_t size = std::min(piece, bytes.size());
        producer.feed(bytes.substr(0, size), out);
        bytes.remove_prefix(size);
    }
    producer.finish(out);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const auto kind = data[0] % 2 == 0 ? pelmaro::ShownKind::Markup : pelmaro::ShownKind::PlainText;
    const std::size_t piece = 1 + data[1] % 64;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);

    static pelmaro::ShownTextProducer producer;
    std::vector<std::uint32_t> points;
    producer.noteResumePoints(&points, 1);
    const std::string whole = produce(producer, kind, bytes, bytes.size() + 1);
    producer.noteResumePoints(nullptr);
    for (const std::uint32_t point : points) {
        static pelmaro::ShownTextProducer resumed;
        std::string part;
        resumed.start(kind, producer.resumeEncoding());
        for (std::size_t at = point; at < bytes.size(); at += piece) {
            resumed.feed(bytes.substr(at, piece), part);
        }
        resumed.finish(part);
        if (producer.resumeEncoding() == pelmaro::ShownTextProducer::Encoding::Detect ||
            !whole.ends_with(part)) {
            std::abort();
        }
    }
    // One byte at a time, every tag and word goes the character-by-character way: the bulk
    // paths must give what it gives.
    if (produce(producer, kind, bytes, piece) != whole ||
        produce(producer, kind, bytes, 1) != whole) {
        std::abort();
    }
    if (!pelmaro::isValidUtf8(whole) || whole.starts_with(' ') || whole.ends_with(' ') ||
        whole.find("  ") != std::string::npos) {
        std::abort();
    }
    // A part of the shown text, cut at character boundaries, is found in it piece by piece.
    std::size_t from = data[0] % (whole.size() + 1);
    std::size_t to = std::min(whole.size(), from + 1 + data[1] % 8);
    while (from < whole.size() && (static_cast<unsigned char>(whole[from]) & 0xC0) == 0x80) {
        ++from;
    }
    while (to < whole.size() && (static_cast<unsigned char>(whole[to]) & 0xC0) == 0x80) {
        ++to;
    }
    const std::string part = whole.substr(from, to - from);
    const std::string written =
        produce(producer, kind, bytes, piece, pelmaro::ShownTextProducer::Letters::AsWritten);
    std::size_t start = 0;
    std::size_t length = 0;
    if (pelmaro::foldedText(written) != whole ||
        !pelmaro::writtenSpan(written, from, part.size(), start, length) ||
        pelmaro::foldedText(written.substr(start, length)) != part) {
        std::abort();
    }
    pelmaro::ShownTextMatcher matcher(part);
    if (matcher.folded() == part && !part.empty()) {
        matcher.reset();
        for (std::size_t at = 0; at < whole.size(); at += piece) {
            matcher.feed(std::string_view(whole).substr(at, piece));
        }
        if (!matcher.found()) {
            std::abort();
        }
    }
    return 0;
}
