#pragma once

#include <stdexcept>
#include <string>

namespace pelmaro {

// A failure that ends the command where it was raised. The window shows what() to the user in an
// error box and goes on running; whatever the command changed before stays changed.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "List index out of bounds (5)"
[[noreturn]] void throwListIndexOutOfBounds(int index);

// "Cannot open file "/x/a.title". No such file or directory" for the errno value `err`.
[[noreturn]] void throwCannotOpen(const std::string& fileName, int err);
// "Cannot create file "/x/a.title". Permission denied"
[[noreturn]] void throwCannotCreate(const std::string& fileName, int err);

// The operating system's text for `err`, with trailing blanks, line breaks and periods removed.
std::string systemMessage(int err);

}  // namespace pelmaro
