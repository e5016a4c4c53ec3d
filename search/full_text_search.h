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

// What a full-text search tells as it goes, on the thread that runs it; each may be empty.
struct FullTextObserver {
    // Before file n is read (0-based).
    std::function<void(std::size_t n)> reading;
    // File n contains the text.
    std::function<void(std::size_t n)> found;
    // File n could not be read (removed, locked or damaged since the catalogue was built): the
    // search goes on without it.
    std::function<void(std::size_t n, const std::string& message)> skipped;
};

// What a file must hold to be found.
enum class TextRule {
    Shown,        // its shown text contains the text (ShownTextScanner): what a reader sees
    StoredBytes,  // its page text, line breaks removed and A-Z folded, contains the text as
                  // bytes (FileTextScanner, fileContainsText): pelmaro-cli's --raw
};

// Pages that an index can't rule out, ascending: the only ones that may hold a text.
using CandidatePages = std::vector<std::uint32_t>;

// The full-text loop that the window and pelmaro-cli share: reads each file of `paths` in order,
// one buffer for all, and tells which contain `text` by `rule`. Runs on any thread; stops at the
// next file, or within a few megabytes of a huge one, once `stop` is requested. True when every
// file was searched. With `candidates` (TextRule::Shown only), only those pages are read and
// told; the others are taken not to contain the text.
bool searchFiles(platform::FileSystem& files, const platform::TextList& paths,
                 std::string_view text, std::stop_token stop, const FullTextObserver& observer,
                 TextRule rule = TextRule::Shown, const CandidatePages* candidates = nullptr);

}  // namespace pelmaro
