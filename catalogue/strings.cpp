#include "catalogue/strings.h"

namespace pelmaro {

std::string_view fileNameOf(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view extensionOf(std::string_view path) {
    const std::string_view name = fileNameOf(path);
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

std::string deriveName(std::string_view path, std::string_view newExtension) {
    const std::string_view extension = extensionOf(path);
    std::string out(path.substr(0, path.size() - extension.size()));
    out += newExtension;
    return out;
}

bool hasExtensionAmong(std::string_view path, std::initializer_list<std::string_view> extensions) {
    const std::string extension = lowerAZ(extensionOf(path));
    for (const std::string_view candidate : extensions) {
        if (extension == candidate) {
            return true;
        }
    }
    return false;
}

}  // namespace pelmaro
