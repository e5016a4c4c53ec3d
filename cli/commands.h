#pragma once

#include <string>
#include <vector>

// The subcommands of pelmaro-cli. Each takes the arguments after its name and returns the exit
// status.
namespace pelmaro::cli {

// build FOLDER: scans, titles, orders and stores the catalogue as the window's Path command does.
int runBuild(const std::vector<std::string>& args);
// search CATALOGUE.path TEXT: the full-text search's hits, "<title>|<index>" a line.
int runSearch(const std::vector<std::string>& args);
// titles CATALOGUE.path TEXT: every title the title search would find, in catalogue order.
int runTitles(const std::vector<std::string>& args);

}  // namespace pelmaro::cli
