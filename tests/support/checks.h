#pragma once

#include <sys/stat.h>

#include <functional>
#include <string>

#include "platform/error.h"

namespace pelmaro::test {

// The message of the Error that `action` raises, or "(no error)", so that a table can hold the
// expected outcome either way.
inline std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

// The file's inode: it stays the same while nothing rewrites the file, since every write goes
// through a temporary file renamed over the old one.
inline ino_t inodeOf(const std::string& fileName) {
    struct stat info {};
    ::stat(fileName.c_str(), &info);
    return info.st_ino;
}

}  // namespace pelmaro::test
