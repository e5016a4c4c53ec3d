#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern char** environ;

// The one way tests and benchmarks run another program: without a shell, its output caught.
namespace pelmaro::test {

struct ProcessOptions {
    // Run there; the caller's own folder when empty.
    std::string workingDir;
    // Where stdout and stderr go; /dev/null when empty.
    std::string outFile;
    std::string errFile;
    // stderr is a pseudo-terminal instead, whose output is caught (its line discipline turns "\n"
    // into "\r\n").
    bool errorsToTerminal = false;
};

struct ProcessRun {
    bool started = false;
    int status = -1;     // the exit status; -1 when it did not exit normally
    std::string errors;  // what reached the terminal, with errorsToTerminal
};

// Runs args[0], found on the PATH when it holds no "/", and waits for it.
inline ProcessRun runProcess(std::vector<std::string> args, const ProcessOptions& options = {}) {
    ProcessRun run;
    int terminal = -1;
    if (options.errorsToTerminal) {
        terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (terminal < 0 || ::grantpt(terminal) != 0 || ::unlockpt(terminal) != 0) {
            if (terminal >= 0) {
                ::close(terminal);
            }
            return run;
        }
    }
    const auto target = [](const std::string& name) {
        return name.empty() ? std::string("/dev/null") : name;
    };
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, target(options.outFile).c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (terminal >= 0) {
        posix_spawn_file_actions_addopen(&actions, 2, ::ptsname(terminal), O_RDWR | O_NOCTTY, 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, 2, target(options.errFile).c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    if (!options.workingDir.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, options.workingDir.c_str());
    }
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    run.started = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (terminal >= 0) {
        if (run.started) {
            // Read until the program has closed its end (read() then fails with EIO).
            char buffer[4096];
            ssize_t got = 0;
            while ((got = ::read(terminal, buffer, sizeof buffer)) > 0) {
                run.errors.append(buffer, static_cast<std::size_t>(got));
            }
        }
        ::close(terminal);
    }
    if (run.started) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return run;
}

}  // namespace pelmaro::test
