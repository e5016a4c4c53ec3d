#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace pelmaro {

// The ordering key of a title: upper-cased under the user's locale.
std::string titleOrderKey(const std::string& title);

// The permutation that orders `titles` by key: entry i of the ordered catalogue is entry
// result[i] of the given one.
std::vector<std::size_t> orderByTitle(const std::vector<std::string>& titles);

}  // namespace pelmaro
