#pragma once

#include <cstddef>
#include <string>

namespace pelmaro::bench {

// Writes a documentation-like tree of `pages` pages under `folder`: nested folders of a few hundred
// files each, mostly ".html" pages of 2 to 12 KB with a <title> in their head, some ".txt" notes,
// ".gif" images, and files of other types (".css", ".js") that a catalogue skips. The content is
// the same for the same arguments.
void makeSyntheticTree(const std::string& folder, std::size_t pages);

}  // namespace pelmaro::bench
