#pragma once

#include <chrono>
#include <functional>
#include <stop_token>
#include <thread>

#include "platform/window.h"

namespace pelmaro {

// One piece of long work at a time on a thread of its own, which hands what it finds to the
// window's thread through UiThread::post. Stopping asks the work to end at its next check;
// waiting joins the thread.
class BackgroundWork {
public:
    BackgroundWork() = default;
    ~BackgroundWork() { stopAndWait(); }
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;

    // Starts `work` on a new thread; a previous piece must have ended (its thread is joined here,
    // which takes no time once it has posted its last result).
    void start(std::function<void(std::stop_token)> work) {
        if (thread_.joinable()) {
            thread_.join();
        }
        thread_ = std::jthread(std::move(work));
    }
    void requestStop() { thread_.request_stop(); }
    void stopAndWait() {
        if (thread_.joinable()) {
            thread_.request_stop();
            thread_.join();
        }
    }

private:
    std::jthread thread_;
};

// Says whether enough time has passed since the last "yes": long work reports its progress to
// the window at most this often, however fast it goes.
class Throttle {
public:
    explicit Throttle(std::chrono::milliseconds interval) : interval_(interval) {}

    bool due() {
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ < interval_) {
            return false;
        }
        last_ = now;
        return true;
    }

private:
    std::chrono::milliseconds interval_;
    std::chrono::steady_clock::time_point last_{};
};

}  // namespace pelmaro
