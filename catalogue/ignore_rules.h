#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelmaro {

// The name of the file at a folder's root that leaves parts of it out of its catalogue.
inline constexpr char kIgnoreFileName[] = ".pelmaroignore";

// Which names under a folder its catalogue leaves out, in the syntax people know from
// ".gitignore":
//   # a comment          blank lines and comments are skipped ("\#" is a "#")
//   _sources/            a folder of that name at any depth, with everything in it
//   *.txt                a name at any depth ("*" and "?" never cross a "/", "[a-z]" a class)
//   /drafts              anchored: only at the root (so is any pattern with a "/" inside)
//   api/**/old           "**" spans any number of folders
//   !keep.txt            takes a name back that an earlier pattern left out
// The last pattern that matches decides; a name inside a folder that is left out stays out, as
// git has it. Names are bytes; the match is exact (case counts).
class IgnoreRules {
public:
    // Adds every line of an ignore file's text.
    void addLines(std::string_view text);
    // Adds one pattern, as a line of the file.
    void addPattern(std::string_view line);
    // Adds the patterns of `other` after these.
    void addRules(const IgnoreRules& other) {
        patterns_.insert(patterns_.end(), other.patterns_.begin(), other.patterns_.end());
    }
    bool empty() const { return patterns_.empty(); }

    // `relativePath` is a name below the folder ("api/old/a.htm", no leading "/"); `isFolder`
    // tells a folder from a file, for patterns that end in "/".
    bool ignores(std::string_view relativePath, bool isFolder) const;

private:
    struct Pattern {
        std::string glob;       // without "!", the anchoring "/" and a trailing "/"
        bool negated = false;   // "!"
        bool anchored = false;  // matched against the whole name, not only its last part
        bool foldersOnly = false;
    };
    std::vector<Pattern> patterns_;
};

// Whether `name` matches the glob `pattern`, "*", "?" and "[...]" stopping at "/", and "**" as a
// whole part spanning folders ("a/**/b" matches "a/b" and "a/x/y/b").
bool matchesGlob(std::string_view pattern, std::string_view name);

}  // namespace pelmaro
