#include <cstdio>
#include <optional>
#include <string>

#include "catalogue/catalogue_files.h"
#include "cli/commands.h"
#include "index/index_store.h"
#include "page/shown_title.h"
#include "platform/error.h"
#include "platform/file_names.h"
#include "platform/file_system.h"
#include "platform/line_list.h"
#include "platform/settings_file.h"
#include "search/full_text_search.h"
#include "search/title_search.h"

namespace pelmaro::cli {
namespace {

void printLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

// The arguments after the command: "--raw" (and for search "--scan") first, when given, then
// the catalogue and the text.
struct SearchArguments {
    bool raw = false;
    bool scan = false;
    std::string pathFile;
    std::string text;
};

std::optional<SearchArguments> parseArguments(const std::vector<std::string>& args,
                                              const char* command, bool mayScan) {
    SearchArguments parsed;
    std::size_t at = 0;
    for (; at < args.size() && args.size() - at > 2; ++at) {
        if (args[at] == "--raw") {
            parsed.raw = true;
        } else if (mayScan && args[at] == "--scan") {
            parsed.scan = true;
        } else {
            break;
        }
    }
    if (args.size() - at != 2) {
        std::fprintf(stderr, "usage: pelmaro-cli %s %s CATALOGUE.path TEXT\n", command,
                     mayScan ? "[--raw | --scan]" : "[--raw]");
        return std::nullopt;
    }
    parsed.pathFile = args[at];
    parsed.text = args[at + 1];
    return parsed;
}

}  // namespace

ExitStatus runSearch(const std::vector<std::string>& args) {
    const auto parsed = parseArguments(args, "search", true);
    if (!parsed) {
        return ExitStatus::Failed;
    }
    const std::string& pathFile = parsed->pathFile;
    try {
        platform::PosixFileSystem files;
        const StoredCatalogue stored =
            loadCataloguePair(files, deriveName(pathFile, ".title"), pathFile);
        // Named apart: a lambda can't capture a structured binding with every compiler.
        const platform::TextList& titles = stored.titles;
        const platform::TextList& paths = stored.paths;
        // The stored-bytes rule has no index: its text is another.
        std::optional<CandidatePages> candidates;
        std::optional<index::TrigramIndex> index;
        ResumePointsOf resumeOf;
        if (!parsed->raw && !parsed->scan) {
            index = index::loadIndex(files, pathFile, paths, platform::defaultCacheFolder());
            if (index) {
                candidates = index::candidatePages(*index, files, paths, parsed->text);
                resumeOf = [&index](std::size_t n, ResumePoints& out) {
                    return index->resumePoints(n, out);
                };
            }
        }
        TitleDecoder decoder(files);
        bool found = false;
        bool skipped = false;
        searchFiles(files, paths, parsed->text, {},
                    {.reading = {},
                     .found =
                         [&](std::size_t n) {
                             if (n >= titles.size()) {
                                 throwListIndexOutOfBounds(static_cast<int>(n));
                             }
                             const std::string shown =
                                 parsed->raw ? std::string(titles[n])
                                             : decoder.decode(titles[n], std::string(paths[n]));
                             printLine(makeEntryReference(shown, static_cast<int>(n)));
                             found = true;
                         },
                     // As in the window, one unreadable file doesn't end the search; like grep,
                     // it makes the status say that the answer may be incomplete.
                     .skipped =
                         [&](std::size_t, const std::string& message) {
                             printError(message);
                             skipped = true;
                         }},
                    parsed->raw ? TextRule::StoredBytes : TextRule::Shown,
                    candidates ? &*candidates : nullptr, 0, resumeOf);
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
    const auto parsed = parseArguments(args, "titles", false);
    if (!parsed) {
        return ExitStatus::Failed;
    }
    try {
        platform::PosixFileSystem files;
        const StoredCatalogue stored =
            loadCataloguePair(files, deriveName(parsed->pathFile, ".title"), parsed->pathFile);
        if (parsed->raw) {
            const std::vector<int> found = findTitles(stored.titles, parsed->text);
            for (const int index : found) {
                printLine(
                    makeEntryReference(stored.titles[static_cast<std::size_t>(index)], index));
            }
            return flushOutput(found.empty() ? ExitStatus::NothingFound : ExitStatus::Success);
        }
        TitleDecoder decoder(files);
        std::vector<std::string> shown;
        shown.reserve(stored.titles.size());
        auto path = stored.paths.begin();
        for (const auto title : stored.titles) {
            shown.push_back(decoder.decode(
                title, path != stored.paths.end() ? std::string(*path++) : std::string()));
        }
        const std::vector<int> found = findTitles(stored.titles, shown, parsed->text);
        for (const int index : found) {
            printLine(makeEntryReference(shown[static_cast<std::size_t>(index)], index));
        }
        return flushOutput(found.empty() ? ExitStatus::NothingFound : ExitStatus::Success);
    } catch (const Error& error) {
        printError(error.what());
        return ExitStatus::Failed;
    }
}

}  // namespace pelmaro::cli
