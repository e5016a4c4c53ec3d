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

void throwCannotOpen(const std::string& fileName, int err) {
    throw Error("Cannot open file \"" + fileName + "\". " + systemMessage(err), err);
}

void throwCannotCreate(const std::string& fileName, int err) {
    throw Error("Cannot create file \"" + fileName + "\". " + systemMessage(err), err);
}

}  // namespace pelmaro
