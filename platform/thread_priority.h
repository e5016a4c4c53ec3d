#pragma once

namespace pelmaro::platform {

// Work the user did not ask for (indexing for later searches) yields the cores to what the user
// waits for: the calling thread runs at the lowest scheduling priority from now on, for its
// CPU and its disk reads. Best effort: nothing happens where the system refuses.
void lowerThisThreadsPriority();

}  // namespace pelmaro::platform
