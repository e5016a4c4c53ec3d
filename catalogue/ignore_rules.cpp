#include "catalogue/ignore_rules.h"

namespace pelmaro {

namespace {

constexpr std::string_view kAnyFolders = "**";

std::vector<std::string_view> partsOf(std::string_view name) {
    std::vector<std::string_view> parts;
    while (!name.empty()) {
        const std::size_t slash = name.find('/');
        if (slash != 0) {
            parts.push_back(name.substr(0, slash));
        }
        if (slash == std::string_view::npos) {
            break;
        }
        name.remove_prefix(slash + 1);
    }
    return parts;
}

// Whether the one character `c` matches the pattern's item at `at` ("?", "[...]", "\x" or a
// character); `next` is set to the item after it.
bool matchesItem(std::string_view pattern, std::size_t at, char c, std::size_t& next) {
    const char item = pattern[at];
    if (item == '?') {
        next = at + 1;
        return true;
    }
    if (item == '\\' && at + 1 < pattern.size()) {
        next = at + 2;
        return pattern[at + 1] == c;
    }
    if (item == '[') {
        std::size_t i = at + 1;
        const bool negated = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
        if (negated) {
            ++i;
        }
        bool found = false;
        // A "]" right after the opening one belongs to the class.
        for (bool first = true; i < pattern.size() && (first || pattern[i] != ']'); first = false) {
            char low = pattern[i];
            if (low == '\\' && i + 1 < pattern.size()) {
                low = pattern[++i];
            }
            char high = low;
            if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
                high = pattern[i + 2];
                i += 2;
            }
            const auto u = static_cast<unsigned char>(c);
            found = found ||
                    (static_cast<unsigned char>(low) <= u && u <= static_cast<unsigned char>(high));
            ++i;
        }
        if (i < pattern.size()) {
            next = i + 1;
            return found != negated;
        }
        // No closing "]": the "[" is a character like any other.
    }
    next = at + 1;
    return item == c;
}

// One part of a name against one part of a pattern ("*" within the part), greedily: the last
// "*" takes one character more on each mismatch, which is all a part needs.
bool matchesPart(std::string_view pattern, std::string_view name) {
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t star = std::string_view::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        std::size_t next = 0;
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            starName = n;
        } else if (p < pattern.size() && matchesItem(pattern, p, name[n], next)) {
            p = next;
            ++n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

// Parts against parts, "**" spanning any number of them (at least one when it ends the pattern:
// "a/**" holds what lies in "a", not "a" itself).
bool matchesParts(const std::vector<std::string_view>& pattern,
                  const std::vector<std::string_view>& name) {
    const std::size_t rows = pattern.size() + 1;
    const std::size_t columns = name.size() + 1;
    // matches[i * columns + j]: pattern parts from i match name parts from j.
    std::vector<char> matches(rows * columns, 0);
    matches[rows * columns - 1] = 1;
    for (std::size_t i = pattern.size(); i-- > 0;) {
        const bool last = i + 1 == pattern.size();
        for (std::size_t j = name.size() + 1; j-- > 0;) {
            bool match = false;
            if (pattern[i] == kAnyFolders) {
                match = (!last && matches[(i + 1) * columns + j]) ||
                        (j < name.size() &&
                         (matches[i * columns + j + 1] || matches[(i + 1) * columns + j + 1]));
            } else {
                match = j < name.size() && matchesPart(pattern[i], name[j]) &&
                        matches[(i + 1) * columns + j + 1];
            }
            matches[i * columns + j] = match ? 1 : 0;
        }
    }
    return matches[0] != 0;
}

}  // namespace

bool matchesGlob(std::string_view pattern, std::string_view name) {
    return matchesParts(partsOf(pattern), partsOf(name));
}

void IgnoreRules::addLines(std::string_view text) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        addPattern(text.substr(0, end));
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
}

void IgnoreRules::addPattern(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    // Trailing blanks go, unless a backslash keeps the last one.
    while (!line.empty() && line.back() == ' ' &&
           !(line.size() >= 2 && line[line.size() - 2] == '\\')) {
        line.remove_suffix(1);
    }
    if (line.empty() || line.front() == '#') {
        return;
    }
    Pattern pattern;
    if (line.front() == '!') {
        pattern.negated = true;
        line.remove_prefix(1);
    }
    if (!line.empty() && line.back() == '/') {
        pattern.foldersOnly = true;
        line.remove_suffix(1);
    }
    pattern.anchored = line.find('/') != std::string_view::npos;
    while (!line.empty() && line.front() == '/') {
        line.remove_prefix(1);
    }
    if (line.empty()) {
        return;
    }
    pattern.glob = std::string(line);
    patterns_.push_back(std::move(pattern));
}

bool IgnoreRules::ignores(std::string_view relativePath, bool isFolder) const {
    if (patterns_.empty()) {
        return false;
    }
    const std::vector<std::string_view> parts = partsOf(relativePath);
    if (parts.empty()) {
        return false;
    }
    bool ignored = false;
    for (const Pattern& pattern : patterns_) {
        if ((pattern.foldersOnly && !isFolder) || ignored == !pattern.negated) {
            continue;  // it can't change the answer
        }
        const bool match = pattern.anchored ? matchesParts(partsOf(pattern.glob), parts)
                                            : matchesPart(pattern.glob, parts.back());
        if (match) {
            ignored = !pattern.negated;
        }
    }
    return ignored;
}

}  // namespace pelmaro
