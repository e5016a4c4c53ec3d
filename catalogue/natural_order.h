#pragma once

#include <string_view>

namespace pelmaro {

// The order people expect of names and titles, where the catalogue's own order is bytes:
// numbers as numbers ("2." before "10.1."), letters without regard to case or accents ("ÉTÉ"
// beside "été", after "Ete" and before "f"). Where that leaves two texts equal, accents decide,
// then case, then the bytes, so that the order is total and stable across runs. Texts are UTF-8;
// bytes that aren't sort by their value.
// < 0 when `a` comes first, 0 for equal bytes, > 0 when `b` comes first.
int compareNaturally(std::string_view a, std::string_view b);

inline bool naturallyBefore(std::string_view a, std::string_view b) {
    return compareNaturally(a, b) < 0;
}

}  // namespace pelmaro
