#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace pelmaro::test {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Where the program's stderr goes.
enum class ErrorOutput { File, Terminal };

// Runs pelmaro-cli with `args` in the folder `workingDir` (the test's own when empty), without a
// shell; its stdout is caught in a file of `dir`, and so is its stderr, or else it is a terminal
// (a pseudo-terminal whose output is caught; its line discipline turns "\n" into "\r\n").
inline CliRun runCliIn(const TempDir& dir, const std::string& workingDir,
                       const std::vector<std::string>& args,
                       ErrorOutput errorOutput = ErrorOutput::File) {
    const std::string outName = dir / "cli.out";
    const std::string errName = dir / "cli.err";
    CliRun run;
    int terminal = -1;
    if (errorOutput == ErrorOutput::Terminal) {
        terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (terminal < 0 || ::grantpt(terminal) != 0 || ::unlockpt(terminal) != 0) {
            if (terminal >= 0) {
                ::close(terminal);
            }
            return run;
        }
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outName.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    if (terminal >= 0) {
        posix_spawn_file_actions_addopen(&actions, 2, ::ptsname(terminal), O_RDWR | O_NOCTTY, 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, 2, errName.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
    }
    if (!workingDir.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());
    }
    std::string program = PELMARO_CLI;
    std::vector<std::string> owned = args;
    std::vector<char*> argv{program.data()};
    for (std::string& arg : owned) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        if (terminal >= 0) {
            ::close(terminal);
        }
        return run;
    }
    if (terminal >= 0) {
        // Read until the program has closed its end (read() then fails with EIO).
        char buffer[4096];
        ssize_t got = 0;
        while ((got = ::read(terminal, buffer, sizeof buffer)) > 0) {
            run.err.append(buffer, static_cast<std::size_t>(got));
        }
        ::close(terminal);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = readFile(outName);
    if (terminal < 0) {
        run.err = readFile(errName);
    }
    return run;
}

}  // namespace pelmaro::test
