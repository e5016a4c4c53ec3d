#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>

// What the long commands of pelmaro-cli share: a progress bar on the terminal, and Ctrl+C.
namespace pelmaro::cli {

// From now on SIGINT and SIGTERM set a flag instead of ending the program, so that a command can
// stop where nothing is half stored.
void catchInterrupts();
// Whether one of them came.
bool interrupted();

// A long command's progress, drawn as a bar on stderr when that is a terminal.
class ProgressBar {
public:
    explicit ProgressBar(bool drawing) : drawing_(drawing) {}

    void scanning(std::size_t folders) {
        draw("scanning... " + std::to_string(folders) + " folders", folders == 0);
    }

    void titling(std::size_t done, std::size_t total) { counting(done, total, "files"); }

    void counting(std::size_t done, std::size_t total, const char* unit) {
        constexpr std::size_t width = 30;
        const std::size_t filled = total == 0 ? width : done * width / total;
        const std::string bar = "[" + std::string(filled, '#') + std::string(width - filled, '-') +
                                "] " + std::to_string(done) + "/" + std::to_string(total) + " " +
                                unit;
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

}  // namespace pelmaro::cli
