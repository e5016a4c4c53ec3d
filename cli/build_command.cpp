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
#include "catalogue/strings.h"
#include "cli/commands.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/settings_file.h"

namespace pelmaro::cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void onInterrupt(int) {
    interrupted = 1;
}

// The build's progress, drawn as a bar on stderr when that is a terminal.
class ProgressBar {
public:
    explicit ProgressBar(bool drawing) : drawing_(drawing) {}

    void scanning(std::size_t folders) {
        draw("scanning... " + std::to_string(folders) + " folders", folders == 0);
    }

    void titling(std::size_t done, std::size_t total) {
        constexpr std::size_t width = 30;
        const std::size_t filled = total == 0 ? width : done * width / total;
        const std::string bar = "[" + std::string(filled, '#') + std::string(width - filled, '-') +
                                "] " + std::to_string(done) + "/" + std::to_string(total) +
                                " files";
        draw(bar, done == total);
    }

    // Clears the bar so that what follows starts on a clean line.
    void finish() {
        if (drawn_) {
            std::fputs("\r\033[K", stderr);
            std::fflush(stderr);
            drawn_ = false;
        }
    }

private:
    void draw(const std::string& line, bool always) {
        if (!drawing_) {
            return;
        }
        // A terminal redrawn thousands of times a second slows the build down.
        const auto now = std::chrono::steady_clock::now();
        if (!always && drawn_ && now - lastDraw_ < std::chrono::milliseconds(100)) {
            return;
        }
        lastDraw_ = now;
        drawn_ = true;
        std::fprintf(stderr, "\r\033[K%s", line.c_str());
        std::fflush(stderr);
    }

    bool drawing_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point lastDraw_;
};

}  // namespace

int runBuild(const std::vector<std::string>& args) {
    // Options come before the folder; "--" ends them, for a folder whose name starts with "-".
    bool quiet = false;
    std::vector<std::string> operands;
    bool options = true;
    for (const std::string& arg : args) {
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "--quiet" || arg == "-q")) {
            quiet = true;
        } else if (options && arg.size() > 1 && arg.front() == '-') {
            std::fprintf(stderr, "pelmaro-cli: unknown option \"%s\"\n", arg.c_str());
            operands.clear();
            break;
        } else {
            operands.push_back(arg);
        }
    }
    if (operands.size() != 1 || operands[0].empty()) {
        std::fputs(kBuildUsage, stderr);
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    ProgressBar bar(!quiet && ::isatty(STDERR_FILENO) == 1);
    try {
        const std::string folder =
            absoluteName(operands[0], std::filesystem::current_path().string());
        std::error_code ignored;
        if (!std::filesystem::is_directory(folder, ignored)) {
            std::fprintf(stderr, "pelmaro-cli: \"%s\" is not a folder\n", folder.c_str());
            return 2;
        }
        platform::PosixFileSystem files;
        // Ctrl+C stops the build before anything is stored; the flag is looked at as progress is
        // told, since a signal handler may not request a stop itself.
        std::stop_source stop;
        const auto checkInterrupt = [&] {
            if (interrupted != 0) {
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
                                                     }});
        bar.finish();
        const BuildResult result = built.result;
        if (result == BuildResult::Stopped) {
            std::fputs("pelmaro-cli: interrupted; nothing was stored\n", stderr);
            return 130;
        }
        if (result == BuildResult::NoFiles) {
            std::fprintf(stderr, "pelmaro-cli: no files in \"%s\"\n", folder.c_str());
            return 1;
        }
        const SavedCatalogue saved =
            saveCatalogue(files, folder, built.titles, built.paths, platform::defaultDataFolder());
        std::printf("%zu entries\n", built.titles.size());
        if (saved.keptElsewhere) {
            std::printf("%s\n", keptElsewhereNote(saved).c_str());
        }
        // A report that can't be written (a full disk, a closed pipe) is a failure.
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::fprintf(stderr, "pelmaro-cli: cannot write the output: %s\n",
                         systemMessage(errno).c_str());
            return 1;
        }
        return 0;
    } catch (const std::exception& e) {
        bar.finish();
        std::fprintf(stderr, "pelmaro-cli: %s\n", e.what());
        return 2;
    }
}

}  // namespace pelmaro::cli
