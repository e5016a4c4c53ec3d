#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <stop_token>

#include "catalogue/catalogue_builder.h"
#include "catalogue/catalogue_files.h"
#include "catalogue/ignore_rules.h"
#include "cli/commands.h"
#include "cli/terminal_progress.h"
#include "platform/error.h"
#include "platform/file_names.h"
#include "platform/file_system.h"
#include "platform/settings_file.h"

namespace pelmaro::cli {
namespace {

// Whether `folder` can be listed; when not, says why. A folder that can't be listed would otherwise
// build as one without pages.
bool canList(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        printError(cannotMessage("open folder", folder, systemMessage(errno)));
        return false;
    }
    ::closedir(dir);
    return true;
}

// Stores the built catalogue in `folder` and prints its number of entries: the one place where a
// build writes, and Failed whenever the catalogue could not be stored there.
ExitStatus store(platform::FileSystem& files, const std::string& folder,
                 const BuiltCatalogue& built) {
    SavedCatalogue saved;
    try {
        saved =
            saveCatalogue(files, folder, built.titles, built.paths, platform::defaultDataFolder());
    } catch (const Error& error) {
        printError(error.what());
        return ExitStatus::Failed;
    }
    std::printf("%zu entries\n", built.titles.size());
    if (saved.keptElsewhere) {
        std::printf("%s\n", keptElsewhereNote(saved).c_str());
    }
    return flushOutput(ExitStatus::Success);
}

}  // namespace

ExitStatus runBuild(const std::vector<std::string>& args) {
    // Options come before the folder; "--" ends them, for a folder whose name starts with "-".
    bool quiet = false;
    IgnoreRules leftOut;
    std::vector<std::string> operands;
    bool options = true;
    bool patternNext = false;
    for (const std::string& arg : args) {
        if (patternNext) {
            leftOut.addPattern(arg);
            patternNext = false;
        } else if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "--quiet" || arg == "-q")) {
            quiet = true;
        } else if (options && arg == "--ignore") {
            patternNext = true;
        } else if (options && arg.starts_with("--ignore=")) {
            leftOut.addPattern(std::string_view(arg).substr(9));
        } else if (options && arg.size() > 1 && arg.front() == '-') {
            printError("unknown option \"" + arg + "\"");
            operands.clear();
            break;
        } else {
            operands.push_back(arg);
        }
    }
    if (operands.size() != 1 || operands[0].empty() || patternNext) {
        std::fputs(kBuildUsage, stderr);
        return ExitStatus::Failed;
    }
    catchInterrupts();

    ProgressBar bar(!quiet && ::isatty(STDERR_FILENO) == 1);
    try {
        const std::string folder =
            absoluteName(operands[0], std::filesystem::current_path().string());
        std::error_code ignored;
        if (!std::filesystem::is_directory(folder, ignored)) {
            printError("\"" + folder + "\" is not a folder");
            return ExitStatus::Failed;
        }
        if (!canList(folder)) {
            return ExitStatus::Failed;
        }
        platform::PosixFileSystem files;
        // A folder that can't be written keeps its catalogue, and its ignore file, in the data
        // folder.
        addIgnoreFile(files, keptIgnoreFile(files, folder, platform::defaultDataFolder()), leftOut);
        // Ctrl+C stops the build before anything is stored; the flag is looked at as progress is
        // told, since a signal handler may not request a stop itself.
        std::stop_source stop;
        const auto checkInterrupt = [&] {
            if (interrupted()) {
                stop.request_stop();
            }
        };
        const BuiltCatalogue built = buildCatalogue(files, folder, stop.get_token(),
                                                    {[&](std::size_t folders) {
                                                         checkInterrupt();
                                                         bar.scanning(folders);
                                                     },
                                                     [&](std::size_t done, std::size_t total) {
                                                         checkInterrupt();
                                                         bar.titling(done, total);
                                                     }},
                                                    leftOut);
        bar.finish();
        if (built.result == BuildResult::Stopped) {
            printError("interrupted; nothing was stored");
            return ExitStatus::Interrupted;
        }
        // Files of other types only (style sheets, scripts) leave nothing to catalogue either;
        // whatever catalogue the folder holds stays as it is.
        if (built.result == BuildResult::NoFiles || built.titles.empty()) {
            printError("no pages under " + folder);
            return ExitStatus::NothingFound;
        }
        return store(files, folder, built);
    } catch (const std::exception& e) {
        bar.finish();
        printError(e.what());
        return ExitStatus::Failed;
    }
}

}  // namespace pelmaro::cli
