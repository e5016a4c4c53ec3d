#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pelmaro::platform {

// Tells which files in a set of folders have been written, created, removed or renamed since
// the watch began. A reader that watches the tree it shows needn't ask every file whether it
// changed.
class FolderWatch {
public:
    virtual ~FolderWatch() = default;
    // The files changed since the last call ("<folder>/<name>", the folder as it was given),
    // gathered without waiting; std::nullopt once the watch has lost track (more changes at once
    // than the system keeps, a watched folder removed or renamed): from then on any file may
    // have changed.
    virtual std::optional<std::vector<std::string>> changes() = 0;
    // Watches the file `file` itself too: a change made to it through any of its names (hard
    // links, in folders not watched) is told as `file`. False when it can't be watched (past the
    // system's limit on watches, or gone).
    virtual bool watchFile(const std::string& /*file*/) { return false; }
};

// A watch of `folders` (links followed) through the kernel's inotify; nullptr when it can't be
// had, as when the folders pass the system's limit on watches, or when one of them lies where a
// file may change without the kernel telling (a network or FUSE file system, /proc).
std::unique_ptr<FolderWatch> watchWithInotify(const std::vector<std::string>& folders);

}  // namespace pelmaro::platform
