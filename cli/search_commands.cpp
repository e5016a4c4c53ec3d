#include <cstdio>
#include <string>

#include "catalogue/catalogue_files.h"
#include "catalogue/line_list.h"
#include "catalogue/strings.h"
#include "cli/commands.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "search/full_text_search.h"
#include "search/title_search.h"

namespace pelmaro::cli {
namespace {

void printLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

bool checkArguments(const std::vector<std::string>& args, const char* command) {
    if (args.size() == 2) {
        return true;
    }
    std::fprintf(stderr, "usage: pelmaro-cli %s CATALOGUE.path TEXT\n", command);
    return false;
}

}  // namespace

ExitStatus runSearch(const std::vector<std::string>& args) {
    if (!checkArguments(args, "search")) {
        return ExitStatus::Failed;
    }
    const std::string& pathFile = args[0];
    try {
        platform::PosixFileSystem files;
        const StoredCatalogue stored =
            loadCataloguePair(files, deriveName(pathFile, ".title"), pathFile);
        // Named apart: a lambda can't capture a structured binding with every compiler.
        const platform::TextList& titles = stored.titles;
        const platform::TextList& paths = stored.paths;
        bool found = false;
        bool skipped = false;
        searchFiles(files, paths, args[1], {},
                    {.reading = {},
                     .found =
                         [&](std::size_t n) {
                             if (n >= titles.size()) {
                                 throwListIndexOutOfBounds(static_cast<int>(n));
                             }
                             printLine(makeEntryReference(titles[n], static_cast<int>(n)));
                             found = true;
                         },
                     // As in the window, one unreadable file doesn't end the search; like grep,
                     // it makes the status say that the answer may be incomplete.
                     .skipped =
                         [&](std::size_t, const std::string& message) {
                             printError(message);
                             skipped = true;
                         }});
        return flushOutput(skipped ? ExitStatus::Failed
                           : found ? ExitStatus::Success
                                   : ExitStatus::NothingFound);
    } catch (const Error& error) {
        flushOutput(ExitStatus::Failed);
        printError(error.what());
        return ExitStatus::Failed;
    }
}

ExitStatus runTitles(const std::vector<std::string>& args) {
    if (!checkArguments(args, "titles")) {
        return ExitStatus::Failed;
    }
    try {
        platform::PosixFileSystem files;
        const auto titles = loadCataloguePair(files, deriveName(args[0], ".title"), args[0]).titles;
        const std::vector<int> found = findTitles(titles, args[1]);
        for (const int index : found) {
            printLine(makeEntryReference(titles[static_cast<std::size_t>(index)], index));
        }
        return flushOutput(found.empty() ? ExitStatus::NothingFound : ExitStatus::Success);
    } catch (const Error& error) {
        printError(error.what());
        return ExitStatus::Failed;
    }
}

}  // namespace pelmaro::cli
