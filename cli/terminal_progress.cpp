#include "cli/terminal_progress.h"

#include <signal.h>

#include <atomic>

namespace pelmaro::cli {
namespace {

// Set in the handler, read on any thread: a lock-free atomic is safe in both.
std::atomic<bool> interruptedFlag = false;
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onInterrupt(int) {
    interruptedFlag.store(true, std::memory_order_relaxed);
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
    return interruptedFlag.load(std::memory_order_relaxed);
}

}  // namespace pelmaro::cli
