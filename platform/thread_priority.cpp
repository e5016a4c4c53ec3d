#include "platform/thread_priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace pelmaro::platform {

void lowerThisThreadsPriority() {
    // On Linux each thread has a nice value of its own: PRIO_PROCESS with the thread's id sets
    // this thread's alone. Raising one's own nice value needs no privilege.
    const auto thread = static_cast<id_t>(::syscall(SYS_gettid));
    ::setpriority(PRIO_PROCESS, thread, 19);
    // The idle class for its reads: its disk work waits while anything else reads.
    constexpr int kIoprioWhoProcess = 1;
    constexpr int kIoprioClassIdle = 3;
    constexpr int kIoprioClassShift = 13;
    ::syscall(SYS_ioprio_set, kIoprioWhoProcess, static_cast<int>(thread),
              kIoprioClassIdle << kIoprioClassShift);
}

}  // namespace pelmaro::platform
