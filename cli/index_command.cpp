#include <unistd.h>

#include <chrono>
#include <exception>
#include <stop_token>
#include <thread>

#include "catalogue/catalogue_files.h"
#include "cli/commands.h"
#include "cli/terminal_progress.h"
#include "index/index_store.h"
#include "platform/error.h"
#include "platform/file_names.h"
#include "platform/file_system.h"
#include "platform/settings_file.h"

namespace pelmaro::cli {

ExitStatus runIndex(const std::vector<std::string>& args) {
    bool quiet = false;
    std::vector<std::string> operands;
    bool options = true;
    for (const std::string& arg : args) {
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "--quiet" || arg == "-q")) {
            quiet = true;
        } else if (options && arg.size() > 1 && arg.front() == '-') {
            printError("unknown option \"" + arg + "\"");
            operands.clear();
            break;
        } else {
            operands.push_back(arg);
        }
    }
    if (operands.size() != 1 || operands[0].empty()) {
        std::fputs(kIndexUsage, stderr);
        return ExitStatus::Failed;
    }
    catchInterrupts();
    ProgressBar bar(!quiet && ::isatty(STDERR_FILENO) == 1);
    try {
        const std::string& pathFile = operands[0];
        platform::PosixFileSystem files;
        const StoredCatalogue stored =
            loadCataloguePair(files, deriveName(pathFile, ".title"), pathFile);
        const std::size_t total = stored.paths.size();
        // Ctrl+C stops the build before anything is stored, while it waits its turn or reads
        // the pages; the index there stays as it was.
        std::stop_source stop;
        const std::jthread watchInterrupts([&stop](std::stop_token done) {
            constexpr auto kLookAgain = std::chrono::milliseconds(20);
            while (!done.stop_requested() && !interrupted()) {
                std::this_thread::sleep_for(kLookAgain);
            }
            if (interrupted()) {
                stop.request_stop();
            }
        });
        index::BuildObserver observer;
        observer.reading = [&](std::size_t n) { bar.counting(n, total, "pages"); };
        observer.waiting = [quiet] {
            if (!quiet) {
                printError("waiting for another window or pelmaro-cli to end its indexing");
            }
        };
        index::BuildOptions build;
        build.waitTurn = true;
        const bool done =
            index::storeIndex(files, pathFile, stored.paths, platform::defaultCacheFolder(),
                              stop.get_token(), observer, build);
        bar.finish();
        if (!done) {
            printError("interrupted; nothing was stored");
            return ExitStatus::Interrupted;
        }
        std::printf("%zu pages indexed\n", total);
        return flushOutput(ExitStatus::Success);
    } catch (const std::exception& e) {
        bar.finish();
        printError(e.what());
        return ExitStatus::Failed;
    }
}

}  // namespace pelmaro::cli
