#include "platform/linked_folders.h"

#include <sys/stat.h>

namespace pelmaro::platform {

bool isWithinFolder(std::string_view path, std::string_view folder) {
    if (folder.size() > 1 && folder.back() == '/') {
        folder.remove_suffix(1);  // "/a/" is "/a"
    }
    if (folder == "/") {
        return path.starts_with('/');
    }
    return !folder.empty() && path.starts_with(folder) &&
           (path.size() == folder.size() || path[folder.size()] == '/');
}

bool isPublicSystemFolder(std::uint32_t owner, std::uint32_t mode) {
    const bool changedByRootOnly = owner == 0 && (mode & (S_IWGRP | S_IWOTH)) == 0;
    const bool readByEveryone = (mode & (S_IROTH | S_IXOTH)) == (S_IROTH | S_IXOTH);
    return changedByRootOnly && readByEveryone;
}

bool mayEnterLinkedFolder(const std::string& realRoot, const LinkedFolder& target,
                          const std::string& home) {
    const std::string& path = target.realPath;
    if (!path.starts_with('/') || !realRoot.starts_with('/')) {
        return false;  // nothing to judge by
    }
    if (isWithinFolder(path, realRoot)) {
        // Inside, but not the folder itself: that would be the whole scan again.
        return path != realRoot;
    }
    if (isWithinFolder(realRoot, path)) {
        return false;  // an ancestor, "/" included
    }
    if (!home.empty() && (isWithinFolder(path, home) || isWithinFolder(home, path))) {
        return false;
    }
    return isPublicSystemFolder(target.owner, target.mode) && target.reachedByEveryone;
}

bool everyoneReaches(const std::string& realPath) {
    for (std::size_t slash = realPath.rfind('/'); slash != std::string::npos && slash > 0;
         slash = realPath.rfind('/', slash - 1)) {
        struct stat info {};
        if (::stat(realPath.substr(0, slash).c_str(), &info) != 0 ||
            (info.st_mode & S_IXOTH) == 0) {
            return false;
        }
    }
    struct stat root {};
    return ::stat("/", &root) == 0 && (root.st_mode & S_IXOTH) != 0;
}

bool mayReadLinkedFile(const std::string& realRoot, const LinkedFile& target,
                       const std::string& home) {
    if (realRoot.starts_with('/') && isWithinFolder(target.folder.realPath, realRoot)) {
        return true;
    }
    return (target.mode & S_IROTH) != 0 && mayEnterLinkedFolder(realRoot, target.folder, home);
}

}  // namespace pelmaro::platform
