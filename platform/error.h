#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace pelmaro {

// A failure that ends the command where it was raised. The window shows what() to the user in an
// error box and goes on running; whatever the command changed before stays changed.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    Error(const std::string& message, int systemError)
        : std::runtime_error(message), systemError_(systemError) {}

    // The errno value of a failed system call behind it, so that a caller can tell a folder it
    // may not write (EACCES) from a full disk; 0 when it has none.
    int systemError() const { return systemError_; }

private:
    int systemError_ = 0;
};

// "List index out of bounds (5)"
[[noreturn]] void throwListIndexOutOfBounds(int index);

// The one shape of a message about a file or folder that a step failed on, for example
// ("open file", "/x/a.title", "No such file or directory") ->
// "Cannot open file "/x/a.title". No such file or directory".
std::string cannotMessage(std::string_view step, const std::string& name, std::string_view reason);
// Throws an Error with cannotMessage and the operating system's text for `err`, keeping `err`.
[[noreturn]] void throwCannot(std::string_view step, const std::string& name, int err);

// "Cannot open file "/x/a.title". No such file or directory" for the errno value `err`.
[[noreturn]] void throwCannotOpen(const std::string& fileName, int err);
// "Cannot create file "/x/a.title". Permission denied"
[[noreturn]] void throwCannotCreate(const std::string& fileName, int err);

// The operating system's text for `err`, with trailing blanks, line breaks and periods removed.
std::string systemMessage(int err);

}  // namespace pelmaro
