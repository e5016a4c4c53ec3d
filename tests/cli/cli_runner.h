#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

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

// Runs pelmaro-cli with `args` in the folder `workingDir` (the test's own when empty), without a
// shell; its stdout and stderr are caught in files of `dir`, or stdout goes to `output`.
inline CliRun runCliIn(const TempDir& dir, const std::string& workingDir,
                       const std::vector<std::string>& args, const std::string& output = {}) {
    const std::string outName = output.empty() ? dir / "cli.out" : output;
    const std::string errName = dir / "cli.err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outName.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errName.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
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
    CliRun run;
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return run;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = output.empty() ? readFile(outName) : std::string();
    run.err = readFile(errName);
    return run;
}

}  // namespace pelmaro::test
