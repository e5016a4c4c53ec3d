#pragma once

#include <string>
#include <string_view>
#include <vector>

// Texts the window derives from other texts: menu labels, error messages, its title. No Qt here,
// so the rules are tested on their own and under the sanitizers.
namespace pelmaro::window_text {

// Places the access-key marks of a menu bar's labels, from the first label to the last: each
// label gets its "&" before its first letter or digit whose upper-case form no earlier label uses;
// a mark on a letter that an earlier label already uses is moved the same way, and a mark on a
// free letter stays. "&&" is a literal "&". With "&Search" before it, "&Stop search" becomes
// "S&top search"; with "&New Search" before it, "New bookmark" becomes "N&ew bookmark".
std::vector<std::string> placeAccessKeys(const std::vector<std::string>& labels);

// An error message as the error box shows it: a "." is appended when the last byte is above "."
// ("Cannot open file "/a.title". No such file or directory" gains one; "...(5)" and "" don't).
std::string withClosingPeriod(std::string message);

// The application's title from its executable's file name: the part before the first ".", the
// first letter upper-cased and the rest lower-cased ("pelmaro" and "PELMARO.bin" give "Pelmaro").
std::string applicationTitle(std::string_view executableName);

}  // namespace pelmaro::window_text
