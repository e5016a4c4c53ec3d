#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/text_list.h"

namespace pelmaro {

// Finds the catalogue entry of a file name without walking the catalogue: the page view reports
// every page it shows, and a catalogue may hold a few hundred thousand paths. Only the paths'
// hashes are kept; every candidate is compared with the path list itself, so an index that does
// not name `fileName` in that list is never returned.
class PathIndex {
public:
    PathIndex() = default;
    explicit PathIndex(const platform::TextList& paths);
    // The paths of a build, before they become the list.
    explicit PathIndex(const std::vector<std::string>& paths);

    // The first entry of `paths`, the list the index was made from, that is `fileName`; -1 when
    // there is none.
    int find(const platform::TextList& paths, std::string_view fileName) const;

private:
    void add(std::string_view path);

    std::unordered_multimap<std::size_t, int> entries_;
};

}  // namespace pelmaro
