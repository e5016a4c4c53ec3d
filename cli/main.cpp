#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace {

void printUsage(std::FILE* out) {
    std::fputs(
        "usage: pelmaro-cli build FOLDER\n"
        "       pelmaro-cli search CATALOGUE.path TEXT\n"
        "       pelmaro-cli titles CATALOGUE.path TEXT\n",
        out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printUsage(stderr);
        return 2;
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "build") {
        return pelmaro::cli::runBuild(args);
    }
    if (command == "search") {
        return pelmaro::cli::runSearch(args);
    }
    if (command == "titles") {
        return pelmaro::cli::runTitles(args);
    }
    if (command == "--help" || command == "-h") {
        printUsage(stdout);
        return 0;
    }
    std::fprintf(stderr, "pelmaro-cli: unknown command \"%s\"\n", command.c_str());
    printUsage(stderr);
    return 2;
}
