#pragma once

#include <string>
#include <vector>

#include "tests/support/process_run.h"
#include "tests/support/temp_dir.h"

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
    ProcessOptions options;
    options.workingDir = workingDir;
    options.outFile = dir / "cli.out";
    options.errFile = dir / "cli.err";
    options.errorsToTerminal = errorOutput == ErrorOutput::Terminal;
    std::vector<std::string> command{PELMARO_CLI};
    command.insert(command.end(), args.begin(), args.end());
    const ProcessRun process = runProcess(command, options);
    CliRun run;
    if (!process.started) {
        return run;
    }
    run.status = process.status;
    run.out = readFile(options.outFile);
    run.err = options.errorsToTerminal ? process.errors : readFile(options.errFile);
    return run;
}

}  // namespace pelmaro::test
