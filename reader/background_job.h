#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "platform/window.h"

namespace pelmaro {

// One kind of long work, one piece at a time, on a thread of its own. What the work hands over
// runs on the window's thread (UiThread::post) unless the piece has been dropped meanwhile: a
// newer piece, drop() or the job's end make its late results stale, and they are thrown away
// there, never half applied.
//
// Nothing here makes the window's thread wait: a piece that is dropped or replaced is asked to
// stop and left to end on its own; only the destructor joins, and the owner destroys the job
// once the window is gone (or the work is known to end at its next check).
class BackgroundJob {
public:
    // Hands `task` to the window's thread, where it runs while this piece is still current.
    using Post = std::function<void(std::function<void()>)>;
    using Work = std::function<void(std::stop_token, const Post&)>;

    explicit BackgroundJob(platform::UiThread& ui) : ui_(ui) {}
    // Asks every piece still running to stop, and waits for them.
    ~BackgroundJob();
    BackgroundJob(const BackgroundJob&) = delete;
    BackgroundJob& operator=(const BackgroundJob&) = delete;

    // Runs `work` on a new thread; the piece before it, if any, is dropped. An exception out of
    // `work`, or out of a task it posted, reaches `onError` on the window's thread (while the
    // piece is current) with its message.
    void start(Work work, std::function<void(const std::string&)> onError = {});
    // Asks the current piece to stop at its next check; it may still hand over what it has.
    void requestStop();
    // The current piece's results are stale from now on, and it is asked to stop.
    void drop();
    // A piece was started and neither dropped nor has it posted its last task yet... as far as
    // the window's thread can tell: true from start() until drop() or finished().
    bool current() const { return current_; }
    // The owner says the current piece has handed over its last result (called from that task).
    void finished() { current_ = false; }
    // Waits for every piece, the dropped ones too: only once the window is gone.
    void wait();
    // True when no thread of this job runs any more (the pieces dropped included).
    bool idle();

private:
    struct Piece {
        std::jthread thread;
        std::shared_ptr<std::atomic<bool>> ended;
    };
    // Joins the pieces that have ended: instantly, since their threads have returned.
    void reap();

    platform::UiThread& ui_;
    // The number of the current piece, read only on the window's thread; shared with the posted
    // tasks so that a task that outlives the job sees it gone.
    std::shared_ptr<std::uint64_t> generation_ = std::make_shared<std::uint64_t>(0);
    bool current_ = false;
    std::vector<Piece> pieces_;
};

// Says whether enough time has passed since the last "yes": long work reports its progress to
// the window at most this often, however fast it goes.
class Throttle {
public:
    explicit Throttle(std::chrono::milliseconds interval) : interval_(interval) {}

    void setInterval(std::chrono::milliseconds interval) { interval_ = interval; }

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
