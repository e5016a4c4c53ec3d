#include "cli/exit_status.h"

#include <cerrno>
#include <cstdio>

#include "platform/error.h"

namespace pelmaro::cli {

void printError(const std::string& message) {
    std::fprintf(stderr, "pelmaro-cli: %s\n", message.c_str());
}

ExitStatus flushOutput(ExitStatus status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        printError("cannot write the output: " + systemMessage(errno));
        return ExitStatus::Failed;
    }
    return status;
}

}  // namespace pelmaro::cli
