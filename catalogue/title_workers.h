#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pelmaro {

// Worker threads that title names while the scan is still finding more: the scan hands over each
// folder's names as it goes, and the threads read the pages meanwhile. Each title lands in the
// place of its name, so the result does not depend on which thread read which page.
class TitleWorkers {
public:
    // The title of one name; runs on the worker threads, so it may only use what is safe there.
    using Titler = std::function<std::string(const std::string& name)>;

    // Starts up to `count` threads; fails with std::system_error when not even one can start.
    TitleWorkers(Titler titler, unsigned count);
    // Stops the threads at their next name and waits for them.
    ~TitleWorkers();
    TitleWorkers(const TitleWorkers&) = delete;
    TitleWorkers& operator=(const TitleWorkers&) = delete;

    // Hands over copies of names, to be titled after those handed over before.
    void add(std::vector<std::string>::const_iterator first,
             std::vector<std::string>::const_iterator last);
    // No more names come.
    void close();
    // Waits at most `limit` for every name to be titled (after close()), or for a thread to fail;
    // true when that has happened.
    bool waitFor(std::chrono::milliseconds limit);
    // How many names have been titled so far.
    std::size_t done() const { return done_.load(std::memory_order_relaxed); }
    // The titles in the order of the names, once waitFor() is true; passes on a thread's failure.
    std::vector<std::string> takeTitles();

private:
    // The names of one hand-over and their titles.
    struct Batch {
        std::vector<std::string> names;
        std::vector<std::string> titles;
    };

    void work();

    Titler titler_;
    std::mutex mutex_;
    std::condition_variable namesCame_;  // to the workers: more names, closed, or stop
    std::condition_variable allDone_;    // to the owner: all titled, or a failure
    // Guarded by mutex_; a Batch never moves once added (a deque keeps its elements in place).
    std::deque<Batch> batches_;
    std::size_t claimBatch_ = 0;  // the next names to claim: batches_[claimBatch_].names[claimAt_]
    std::size_t claimAt_ = 0;
    std::size_t total_ = 0;
    bool closed_ = false;
    std::exception_ptr failure_;

    std::atomic<std::size_t> done_{0};
    std::atomic<bool> stop_{false};
    std::vector<std::jthread> threads_;  // last: ended before the rest goes
};

}  // namespace pelmaro
