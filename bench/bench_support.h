#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// What the benchmarks share: a timer, and a way to run the tools they are measured against.
namespace pelmaro::bench {

// The best time in seconds of `runs` runs of `run`, after one run that warms the cache.
double bestSeconds(const std::function<void()>& run, int runs = 3);

// Runs a command found on the PATH with its standard output going to `outName` and its errors
// nowhere, and waits for it. False when it can't be started.
bool runCommand(std::vector<std::string> args, const std::string& outName = "/dev/null");

// The number of lines in a file.
std::size_t countLines(const std::string& fileName);

// The most memory the process has held so far, in MB.
long peakMegabytes();

}  // namespace pelmaro::bench
