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

// The usage line of the index command.
inline constexpr const char* kIndexUsage = "usage: pelmaro-cli index [--quiet] CATALOGUE.path\n";

// build [--quiet] FOLDER: scans, titles, orders and stores the catalogue as the window's Path
// command does. The progress is drawn on stderr when that is a terminal, unless --quiet.
ExitStatus runBuild(const std::vector<std::string>& args);
// index [--quiet] CATALOGUE.path: builds the catalogue's search index, or builds it anew, under
// $XDG_CACHE_HOME/pelmaro; prints the number of pages.
ExitStatus runIndex(const std::vector<std::string>& args);
// search [--raw | --scan] CATALOGUE.path TEXT: the full-text search's hits, "<title>|<index>" a
// line, the title as shown (decoded). It reads only the pages a trusted index can't rule out;
// --scan reads every page, with the same answer. With --raw, pages match by their stored bytes
// (page text, line breaks removed, A-Z folded), every page is read, and titles are printed as
// stored.
ExitStatus runSearch(const std::vector<std::string>& args);
// titles [--raw] CATALOGUE.path TEXT: every title the title search would find, in catalogue
// order, as shown; with --raw, those whose stored bytes hold the text, printed as stored.
ExitStatus runTitles(const std::vector<std::string>& args);

}  // namespace pelmaro::cli
