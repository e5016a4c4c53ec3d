// The first look at a page's bytes: a page it passes over must not show the search text. Any
// bytes, as markup or plain text, are searched for a part of their own shown text (and for the
// input's own words) with and without the first look, in one block and in small ones, by each
// of the processor's vector units, and from the page's resume points as an index keeps them;
// the answers must be the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/fuzz_page.h"
#include "platform/byte_text.h"
#include "platform/file_system.h"
#include "search/shown_text_search.h"
#include "tests/support/resume_points.h"

namespace {

void expectSameAnswers(pelmaro::platform::FileSystem& files, const std::string& name,
                       const std::string& text, const std::vector<pelmaro::ResumePoints>& resumes) {
    pelmaro::ShownTextScanner full(text);
    full.usePrefilter(false);
    const auto answer = full.scan(files, name);
    for (const pelmaro::VectorUnit unit : pelmaro::vectorUnitsHere()) {
        for (const std::size_t block : {std::size_t{1} << 20, std::size_t{16}, std::size_t{700}}) {
            pelmaro::ShownTextScanner filtered(text, block);
            filtered.useVectorUnit(unit);
            if (filtered.scan(files, name) != answer) {
                std::abort();
            }
            for (const pelmaro::ResumePoints& resume : resumes) {
                if (filtered.scan(files, name, {}, &resume) != answer) {
                    std::abort();
                }
            }
        }
    }
}

// The page's resume points, every one and a few.
std::vector<pelmaro::ResumePoints> resumePointsOf(pelmaro::platform::FileSystem& files,
                                                  const pelmaro::fuzz::PageInput& input) {
    std::vector<pelmaro::ResumePoints> resumes;
    for (const std::size_t spacing : {std::size_t{1}, std::size_t{64}}) {
        pelmaro::ResumePoints resume = pelmaro::test::notedResumePoints(input.bytes, spacing);
        resume.stamp = files.fileStamp(input.file).value_or(pelmaro::platform::FileStamp{});
        if (resume.encoding != pelmaro::ShownTextProducer::Encoding::Detect &&
            !resume.offsets.empty()) {
            resumes.push_back(std::move(resume));
        }
    }
    return resumes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = pelmaro::fuzz::writtenPage(data, size);
    if (!input) {
        return 0;
    }
    pelmaro::platform::PosixFileSystem files;
    const std::vector<pelmaro::ResumePoints> resumes =
        input->markup ? resumePointsOf(files, *input) : std::vector<pelmaro::ResumePoints>{};

    // A part of the page's own shown text, from a letter or digit on, long enough for a first
    // look.
    if (const std::string part = pelmaro::fuzz::shownPart(*input, true); !part.empty()) {
        expectSameAnswers(files, input->file, part, resumes);
    }
    // The bytes' own words, as typed: found in markup, references and split by tags, or not.
    const std::string_view bytes = input->bytes;
    std::size_t start = input->pick % (bytes.size() + 1);
    while (start < bytes.size() && !pelmaro::isAsciiAlnum(bytes[start])) {
        ++start;
    }
    std::size_t end = start;
    while (end < bytes.size() && end - start < 12 && pelmaro::isAsciiAlnum(bytes[end])) {
        ++end;
    }
    if (end - start >= 3) {
        expectSameAnswers(files, input->file, std::string(bytes.substr(start, end - start)),
                          resumes);
    }
    return 0;
}
