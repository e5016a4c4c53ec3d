#pragma once

#include <string>

namespace pelmaro::cli {

// The exit statuses of every pelmaro-cli command, as grep has them; --help and pelmaro-cli(1)
// list the same four.
enum class ExitStatus {
    Success = 0,       // found something, built and stored, or help and version shown
    NothingFound = 1,  // no hit, or no pages to build a catalogue from
    Failed = 2,  // a wrong call or an error: a missing file, one that can't be read or written
    Interrupted = 130,  // the build was stopped by a signal; nothing was stored
};

// "pelmaro-cli: <message>" on stderr.
void printError(const std::string& message);

// `status`, once stdout is flushed; Failed, with the reason on stderr, when it can't be (a full
// disk, a closed pipe): an answer that didn't reach its reader is no answer.
ExitStatus flushOutput(ExitStatus status);

}  // namespace pelmaro::cli
