#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace {

void printUsage(std::FILE* out) {
    std::fputs(pelmaro::cli::kBuildUsage, out);
    std::fputs(
        "       pelmaro-cli index [--quiet] CATALOGUE.path\n"
        "       pelmaro-cli search [--raw | --scan] CATALOGUE.path TEXT\n"
        "       pelmaro-cli titles [--raw] CATALOGUE.path TEXT\n"
        "       pelmaro-cli --help | --version\n",
        out);
}

void printHelp() {
    std::fputs("pelmaro-cli: Pelmaro's catalogue builder and searches on the command line.\n\n",
               stdout);
    printUsage(stdout);
    std::fputs(
        "\n"
        "  build FOLDER    build FOLDER's catalogue, as the reader's Path (F2) does, and store it\n"
        "                  there as pelmaropath.title and pelmaropath.path; prints the number of\n"
        "                  entries. A FOLDER that can't be written has them kept under\n"
        "                  $XDG_DATA_HOME/pelmaro instead, and the output says where.\n"
        "                  Its progress is drawn on stderr when that is a terminal.\n"
        "    -q, --quiet   draw no progress\n"
        "    --ignore PATTERN\n"
        "                  leave out what PATTERN matches, as a line of FOLDER/.pelmaroignore\n"
        "                  would (.gitignore syntax); may be given more than once\n"
        "  index           build the catalogue's search index, or build it anew, under\n"
        "                  $XDG_CACHE_HOME/pelmaro (a cache: deleting it loses nothing); prints\n"
        "                  the number of pages. Its progress is drawn as build's is.\n"
        "    -q, --quiet   draw no progress\n"
        "  search          full-text search of a stored catalogue's pages in the text they show\n"
        "                  (case, accents written either way and runs of white space ignored),\n"
        "                  a hit a line as \"<title>|<index>\", the title as shown. A fresh\n"
        "                  index narrows the pages read; the answer is the same without it\n"
        "    --scan        read every page, index or not\n"
        "  titles          the titles the reader's title search would find, in catalogue order\n"
        "    --raw         match the stored bytes instead (line breaks removed, A-Z case\n"
        "                  ignored, no decoding) and print titles as stored\n"
        "  -h, --help      show this help and exit\n"
        "  --version       show the version and exit\n"
        "\n"
        "Exit status, as grep's: 0 found (or built and stored), 1 nothing found (or no pages\n"
        "to build from; nothing is written), 2 a wrong call or an error (a catalogue that\n"
        "can't be stored among them); 130 a build or an index interrupted. See\n"
        "pelmaro-cli(1).\n",
        stdout);
}

pelmaro::cli::ExitStatus run(int argc, char** argv) {
    using pelmaro::cli::ExitStatus;
    if (argc < 2) {
        printUsage(stderr);
        return ExitStatus::Failed;
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "build") {
        return pelmaro::cli::runBuild(args);
    }
    if (command == "index") {
        return pelmaro::cli::runIndex(args);
    }
    if (command == "search") {
        return pelmaro::cli::runSearch(args);
    }
    if (command == "titles") {
        return pelmaro::cli::runTitles(args);
    }
    // As with most programs, these win whatever follows them.
    if (command == "--help" || command == "-h") {
        printHelp();
        return pelmaro::cli::flushOutput(ExitStatus::Success);
    }
    if (command == "--version") {
        std::puts("pelmaro-cli " PELMARO_VERSION);
        return pelmaro::cli::flushOutput(ExitStatus::Success);
    }
    if (!command.empty() && command.front() == '-') {
        std::fprintf(stderr, "pelmaro-cli: unknown option \"%s\"\n", command.c_str());
    } else {
        std::fprintf(stderr, "pelmaro-cli: unknown command \"%s\"\n", command.c_str());
    }
    printUsage(stderr);
    return ExitStatus::Failed;
}

}  // namespace

int main(int argc, char** argv) {
    return static_cast<int>(run(argc, argv));
}
