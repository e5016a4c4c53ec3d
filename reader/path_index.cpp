#include "reader/path_index.h"

#include <functional>

namespace pelmaro {
namespace {

std::size_t hashOf(std::string_view fileName) {
    return std::hash<std::string_view>{}(fileName);
}

}  // namespace

PathIndex::PathIndex(const std::vector<std::string>& paths) {
    entries_.reserve(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        entries_.emplace(hashOf(paths[i]), static_cast<int>(i));
    }
}

int PathIndex::find(const std::vector<std::string>& paths, std::string_view fileName) const {
    int found = -1;
    const auto [first, last] = entries_.equal_range(hashOf(fileName));
    for (auto entry = first; entry != last; ++entry) {
        const int index = entry->second;
        // A catalogue may list one file twice; the first entry stands for it.
        if (static_cast<std::size_t>(index) < paths.size() && paths[index] == fileName &&
            (found < 0 || index < found)) {
            found = index;
        }
    }
    return found;
}

}  // namespace pelmaro
