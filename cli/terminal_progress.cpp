#include "cli/terminal_progress.h"

#include <signal.h>

#include <csignal>

namespace pelmaro::cli {
namespace {

volatile std::sig_atomic_t interruptedFlag = 0;

extern "C" void onInterrupt(int) {
    interruptedFlag = 1;
}

}  // namespace

void catchInterrupts() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

bool interrupted() {
    return interruptedFlag != 0;
}

}  // namespace pelmaro::cli
