#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <utility>
#include <vector>

namespace pelmaro {

// Workers that read the items 0 to count - 1 of a list, each taking the next one unread, at most
// a window of items ahead of the one taken next; what item n gave is taken with take(n), n going
// up by one from 0, so that whoever takes them hears of them in the list's order. Each worker
// makes its reader once (`makeReader`), and keeps its buffers from item to item. An exception
// out of a reader is thrown again by take() of that item.
template <typename Result>
class ReadAhead {
public:
    // Asks whether to go on within an item: false once stopped or closing.
    using KeepGoing = std::function<bool()>;
    using Reader = std::function<Result(std::size_t n, const KeepGoing& keepGoing)>;

    ReadAhead(std::size_t count, unsigned workers, std::size_t aheadPerWorker, std::stop_token stop,
              std::function<Reader()> makeReader)
        : count_(count),
          stop_(std::move(stop)),
          makeReader_(std::move(makeReader)),
          slots_(static_cast<std::size_t>(workers) * aheadPerWorker) {
        try {
            for (unsigned i = 0; i < workers; ++i) {
                workers_.emplace_back([this] { work(); });
            }
        } catch (...) {
            close();
            throw;
        }
    }
    ~ReadAhead() { close(); }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // What item n gave, once read.
    Result take(std::size_t n) {
        std::unique_lock lock(mutex_);
        Slot& slot = slots_[n % slots_.size()];
        if (!slot.ready) {
            // Woken once a run of items is ready, not once an item: on small pages a wake an
            // item would cost more than the pages.
            waitedRun_ = std::min(batch(), count_ - n);
            ready_.wait(lock, [&] { return runReady(n, waitedRun_); });
            waitedRun_ = 0;
        }
        Result result = std::move(slot.result);
        const std::exception_ptr fault = std::exchange(slot.fault, nullptr);
        slot.ready = false;
        taken_ = n + 1;
        // Workers that found no room sleep until half the window is free again.
        const bool wake = taken_ + slots_.size() - next_ == batch();
        lock.unlock();
        if (wake) {
            room_.notify_all();
        }
        if (fault) {
            std::rethrow_exception(fault);
        }
        return result;
    }

private:
    std::size_t batch() const { return std::max<std::size_t>(slots_.size() / 2, 1); }

    // Whether the `run` items from `from` on are all ready.
    bool runReady(std::size_t from, std::size_t run) const {
        for (std::size_t m = from; m < from + run; ++m) {
            if (!slots_[m % slots_.size()].ready) {
                return false;
            }
        }
        return true;
    }

    struct Slot {
        bool ready = false;
        Result result;
        std::exception_ptr fault;
    };

    void close() {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
        }
        room_.notify_all();
        workers_.clear();  // joins them
    }

    void work() {
        std::optional<Reader> reader;
        const KeepGoing keepGoing = [this] {
            return !stop_.stop_requested() && !closing_.load(std::memory_order_relaxed);
        };
        for (;;) {
            std::size_t n = 0;
            {
                std::unique_lock lock(mutex_);
                room_.wait(lock, [&] {
                    return closing_ || next_ >= count_ || next_ < taken_ + slots_.size();
                });
                if (closing_ || next_ >= count_) {
                    return;
                }
                n = next_++;
            }
            Result result{};
            std::exception_ptr fault;
            try {
                if (!reader) {
                    reader = makeReader_();
                }
                result = (*reader)(n, keepGoing);
            } catch (...) {
                fault = std::current_exception();
            }
            bool wanted = false;
            {
                std::lock_guard lock(mutex_);
                Slot& slot = slots_[n % slots_.size()];
                slot.result = std::move(result);
                slot.fault = fault;
                slot.ready = true;
                wanted = waitedRun_ != 0 && n >= taken_ && n < taken_ + waitedRun_ &&
                         runReady(taken_, waitedRun_);
            }
            if (wanted) {
                ready_.notify_one();
            }
        }
    }

    std::size_t count_;
    std::stop_token stop_;
    std::function<Reader()> makeReader_;
    std::mutex mutex_;
    std::condition_variable ready_;  // a slot was filled
    std::condition_variable room_;   // a slot was emptied, or the workers are to end
    std::vector<Slot> slots_;
    std::size_t next_ = 0;       // the next item a worker takes
    std::size_t taken_ = 0;      // items taken so far
    std::size_t waitedRun_ = 0;  // the items from taken_ on that the taker waits for, or 0
    std::atomic<bool> closing_ = false;
    // Last: they end before what they use goes.
    std::vector<std::jthread> workers_;
};

}  // namespace pelmaro
