#include "bench/bench_support.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "tests/support/process_run.h"

namespace pelmaro::bench {

double bestSeconds(const std::function<void()>& run, int runs) {
    using Clock = std::chrono::steady_clock;
    run();
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        run();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

bool runCommand(std::vector<std::string> args, const std::string& outName) {
    test::ProcessOptions options;
    options.outFile = outName;
    return test::runProcess(std::move(args), options).started;
}

std::size_t countLines(const std::string& fileName) {
    std::size_t lines = 0;
    if (std::FILE* in = std::fopen(fileName.c_str(), "rb")) {
        char buffer[65536];
        while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, in)) {
            lines += static_cast<std::size_t>(std::count(buffer, buffer + got, '\n'));
        }
        std::fclose(in);
    }
    return lines;
}

long peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

}  // namespace pelmaro::bench
