#include "reader/path_index.h"

#include <functional>

namespace pelmaro {
namespace {

std::size_t hashOf(std::string_view fileName) {
    return std::hash<std::string_view>{}(fileName);
}

}  // namespace

PathIndex::PathIndex(const platform::TextList& paths) {
    entries_.reserve(paths.size());
    for (const std::string_view path : paths) {
        add(path);
    }
}

PathIndex::PathIndex(const std::vector<std::string>& paths) {
    entries_.reserve(paths.size());
    for (const std::string& path : paths) {
        add(path);
    }
}

void PathIndex::add(std::string_view path) {
    entries_.emplace(hashOf(path), static_cast<int>(entries_.size()));
}

int PathIndex::find(const platform::TextList& paths, std::string_view fileName) const {
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
