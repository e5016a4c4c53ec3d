#include <cstdio>

#include "cli/commands.h"

namespace pelmaro::cli {

int runSearch(const std::vector<std::string>&) {
    std::fputs("pelmaro-cli: search is not available yet\n", stderr);
    return 2;
}

int runTitles(const std::vector<std::string>&) {
    std::fputs("pelmaro-cli: titles is not available yet\n", stderr);
    return 2;
}

}  // namespace pelmaro::cli
