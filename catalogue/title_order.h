#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace pelmaro {

// The ordering key of a title: every UTF-8 character mapped to its simple upper case as the
// C.UTF-8 locale has it ("é" -> "É", "ß" stays "ß"), whatever locale the process runs under.
// Bytes that are not valid UTF-8 stay as they are. Keys compare as unsigned bytes.
std::string titleOrderKey(const std::string& title);

// The permutation that orders `titles` by key: entry i of the ordered catalogue is entry
// result[i] of the given one. Titles with equal keys end in exactly the order that exchanging
// every pair (i, j) with key i < key j, pass by pass over i, would leave them in: "Intro",
// "INTRO", "About" become "About", "INTRO", "Intro". O(m log m).
std::vector<std::size_t> orderByTitle(const std::vector<std::string>& titles);

// The same, for keys already made.
std::vector<std::size_t> orderByKeys(const std::vector<std::string>& keys);

// The upper case of a character from a built-in table of the Latin, Greek and Cyrillic letters,
// used only where the system has no UTF-8 locale at all.
char32_t builtinUpperCase(char32_t c);

}  // namespace pelmaro
