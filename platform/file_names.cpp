#include "platform/file_names.h"

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

std::string absoluteName(std::string_view name, std::string_view currentFolder) {
    if (!name.empty() && name.front() == '/') {
        return std::string(name);
    }
    std::string out(currentFolder);
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string_view::npos) {
            end = name.size();
        }
        const std::string_view part = name.substr(start, end - start);
        if (!part.empty() && part != ".") {
            if (out.empty() || out.back() != '/') {
                out += '/';
            }
            out += part;
        }
        start = end + 1;
    }
    return out;
}

}  // namespace pelmaro
