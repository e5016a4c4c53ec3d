#include <cstdio>

#include "cli/commands.h"

namespace pelmaro::cli {

int runBuild(const std::vector<std::string>&) {
    std::fputs("pelmaro-cli: build is not available yet\n", stderr);
    return 2;
}

}  // namespace pelmaro::cli
