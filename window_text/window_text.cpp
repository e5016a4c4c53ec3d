#include "window_text/window_text.h"

#include <array>
#include <utility>

#include "platform/file_names.h"

namespace pelmaro::window_text {

namespace {

bool isLetterOrDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// A label split into its text without the mark ("&&" kept as it is) and the position in that
// text of the marked character (npos for none). A trailing "&" or a second mark is dropped.
struct MarkedLabel {
    std::string text;
    std::size_t mark = std::string::npos;
};

MarkedLabel parseLabel(const std::string& label) {
    MarkedLabel parsed;
    for (std::size_t i = 0; i < label.size(); ++i) {
        if (label[i] != '&') {
            parsed.text += label[i];
        } else if (i + 1 < label.size() && label[i + 1] == '&') {
            parsed.text += "&&";
            ++i;
        } else if (parsed.mark == std::string::npos && i + 1 < label.size()) {
            parsed.mark = parsed.text.size();
        }
    }
    return parsed;
}

}  // namespace

std::vector<std::string> placeAccessKeys(const std::vector<std::string>& labels) {
    std::array<bool, 256> used{};
    auto isFree = [&used](char c) {
        return isLetterOrDigit(c) && !used[static_cast<unsigned char>(upper(c))];
    };

    std::vector<std::string> placed;
    placed.reserve(labels.size());
    for (const std::string& label : labels) {
        MarkedLabel parsed = parseLabel(label);
        if (parsed.mark == std::string::npos || !isFree(parsed.text[parsed.mark])) {
            parsed.mark = std::string::npos;
            for (std::size_t i = 0; i < parsed.text.size(); ++i) {
                if (parsed.text[i] == '&') {
                    ++i;  // the second half of a literal "&&"
                } else if (isFree(parsed.text[i])) {
                    parsed.mark = i;
                    break;
                }
            }
        }
        if (parsed.mark != std::string::npos) {
            used[static_cast<unsigned char>(upper(parsed.text[parsed.mark]))] = true;
            parsed.text.insert(parsed.mark, 1, '&');
        }
        placed.push_back(std::move(parsed.text));
    }
    return placed;
}

std::string withClosingPeriod(std::string message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
        message += '.';
    }
    return message;
}

std::string applicationTitle(std::string_view executableName) {
    std::string title = lowerAZ(executableName.substr(0, executableName.find('.')));
    if (!title.empty()) {
        title[0] = upper(title[0]);
    }
    return title;
}

}  // namespace pelmaro::window_text
