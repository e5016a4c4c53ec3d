#include "bench/bench_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

extern char** environ;

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
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outName.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const bool started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (started) {
        int status = 0;
        waitpid(pid, &status, 0);
    }
    return started;
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
