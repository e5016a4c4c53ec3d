#include "platform/error.h"

#include <cstring>

namespace pelmaro {

void throwListIndexOutOfBounds(int index) {
    throw Error("List index out of bounds (" + std::to_string(index) + ")");
}

std::string systemMessage(int err) {
    std::string text = std::strerror(err);
    while (!text.empty()) {
        const char last = text.back();
        if (last != ' ' && last != '\t' && last != '\r' && last != '\n' && last != '.') {
            break;
        }
        text.pop_back();
    }
    return text;
}

std::string cannotMessage(std::string_view step, const std::string& name, std::string_view reason) {
    std::string message = "Cannot ";
    message.append(step).append(" \"").append(name).append("\". ").append(reason);
    return message;
}

void throwCannot(std::string_view step, const std::string& name, int err) {
    throw Error(cannotMessage(step, name, systemMessage(err)), err);
}

void throwCannotOpen(const std::string& fileName, int err) {
    throwCannot("open file", fileName, err);
}

void throwCannotCreate(const std::string& fileName, int err) {
    throwCannot("create file", fileName, err);
}

}  // namespace pelmaro
