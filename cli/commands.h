#pragma once

#include <string>
#include <vector>

#include "cli/exit_status.h"

// The subcommands of pelmaro-cli. Each takes the arguments after its name and returns its exit
// status.
namespace pelmaro::cli {

// The usage line of the build command, shown for a wrong call of it.
inline constexpr const char* kBuildUsage =
    "usage: pelmaro-cli build [--quiet] [--ignore PATTERN]... FOLDER\n";

// build [--quiet] FOLDER: scans, titles, orders and stores the catalogue as the window's Path
// command does. The progress is drawn on stderr when that is a terminal, unless --quiet.
ExitStatus runBuild(const std::vector<std::string>& args);
// search [--raw] CATALOGUE.path TEXT: the full-text search's hits, "<title>|<index>" a line, the
// title as shown (decoded). With --raw, pages match by their stored bytes (page text, line breaks
// removed, A-Z folded) and titles are printed as stored.
ExitStatus runSearch(const std::vector<std::string>& args);
// titles [--raw] CATALOGUE.path TEXT: every title the title search would find, in catalogue
// order, as shown; with --raw, those whose stored bytes hold the text, printed as stored.
ExitStatus runTitles(const std::vector<std::string>& args);

}  // namespace pelmaro::cli
