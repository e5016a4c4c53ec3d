#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace pelmaro::bench {

// Writes a documentation-like tree of `pages` pages under `folder`: nested folders of a few hundred
// files each, mostly ".html" pages of 2 to 12 KB with a <title> in their head, some ".txt" notes,
// ".gif" images, and files of other types (".css", ".js") that a catalogue skips. The content is
// the same for the same arguments.
void makeSyntheticTree(const std::string& folder, std::size_t pages);

// The words the synthetic pages are written with: documentation words in mixed case, a few with
// UTF-8 letters.
const std::vector<std::string>& syntheticWords();

}  // namespace pelmaro::bench
