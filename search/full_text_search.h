#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/text_list.h"

namespace pelmaro {

// True when the file's text, with line breaks removed and A-Z folded, contains `text` likewise
// folded. An empty text is never found. Fails with "Cannot open file "%s". %s" and on read
// errors.
bool fileContainsText(platform::FileSystem& files, const std::string& fileName,
                      std::string_view text);

// How a found file holds the text, for a ranking and a context line.
struct PageHits {
    std::uint32_t count = 0;        // hits that don't overlap
    std::uint32_t firstOffset = 0;  // where the first starts, in bytes of the folded shown text
};

// What a full-text search tells as it goes, on the thread that runs it, in catalogue order; each
// may be empty.
struct FullTextObserver {
    // Before file n is read (0-based).
    std::function<void(std::size_t n)> reading;
    // File n contains the text.
    std::function<void(std::size_t n)> found;
    // File n could not be read (removed, locked or damaged since the catalogue was built): the
    // search goes on without it.
    std::function<void(std::size_t n, const std::string& message)> skipped;
    // After found(n), how file n holds the text. When set, every found file is read to its end
    // to count its hits (by the stored-bytes rule, a hit is one at offset 0).
    std::function<void(std::size_t n, const PageHits& hits)> counted = {};
};

struct ResumePoints;  // search/shown_text_search.h

// Sets `out` to the resume points of file n (ShownTextScanner::scan), when there are any.
using ResumePointsOf = std::function<bool(std::size_t n, ResumePoints& out)>;

// What a file must hold to be found.
enum class TextRule {
    Shown,        // its shown text contains the text (ShownTextScanner): what a reader sees
    StoredBytes,  // its page text, line breaks removed and A-Z folded, contains the text as
                  // bytes (FileTextScanner, fileContainsText): pelmaro-cli's --raw
};

// The full-text loop that the window and pelmaro-cli share: reads the files of `paths` and tells
// which contain `text` by `rule`, in catalogue order whatever order they were read in. Runs on
// any thread; stops at the next file, or within a few megabytes of a huge one, once `stop` is
// requested. True when every file was searched; otherwise the files searched are those the
// observer heard of before the last reading(n): 0 to n - 1.
//
// With a file system whose reads are thread-safe, `threads` workers (0: one per core) read ahead
// of the observer, each with a buffer of its own; otherwise the files are read here, one buffer
// for all. `resumeOf`, when given, tells the resume points of files still as they were when an
// index read them (TextRule::Shown, not counting hits).
bool searchFiles(platform::FileSystem& files, const platform::TextList& paths,
                 std::string_view text, std::stop_token stop, const FullTextObserver& observer,
                 TextRule rule = TextRule::Shown, unsigned threads = 0,
                 const ResumePointsOf& resumeOf = {});

// Pages that an index can't rule out, ascending: the only ones that may hold a text.
using CandidatePages = std::vector<std::uint32_t>;

// The same loop over the candidate pages alone (TextRule::Shown; the stored-bytes rule reads
// every page): the observer hears of them by their places in `paths`, and the other pages are
// taken not to hold the text. When the candidates are most of the pages, every page is read (the
// answer is the same).
bool searchFiles(platform::FileSystem& files, const platform::TextList& paths,
                 std::string_view text, std::stop_token stop, const FullTextObserver& observer,
                 TextRule rule, const CandidatePages* candidates, unsigned threads = 0,
                 const ResumePointsOf& resumeOf = {});

}  // namespace pelmaro
