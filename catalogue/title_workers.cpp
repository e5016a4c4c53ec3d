#include "catalogue/title_workers.h"

#include <algorithm>
#include <system_error>

namespace pelmaro {
namespace {

// Workers claim this many names at a time: few enough claims to cost no contention, small enough
// to share a folder between threads and to stop soon.
constexpr std::size_t kNamesPerClaim = 32;

}  // namespace

TitleWorkers::TitleWorkers(Titler titler, unsigned count) : titler_(std::move(titler)) {
    for (unsigned i = 0; i < count; ++i) {
        try {
            threads_.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            // The system gives no more threads: those that started do the work.
            if (threads_.empty()) {
                throw;
            }
            break;
        }
    }
}

TitleWorkers::~TitleWorkers() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    namesCame_.notify_all();
    threads_.clear();  // joins
}

void TitleWorkers::add(std::vector<std::string>::const_iterator first,
                       std::vector<std::string>::const_iterator last) {
    if (first == last) {
        return;
    }
    Batch batch;
    batch.names.assign(first, last);
    batch.titles.resize(batch.names.size());
    {
        const std::lock_guard lock(mutex_);
        total_ += batch.names.size();
        batches_.push_back(std::move(batch));
    }
    namesCame_.notify_all();
}

void TitleWorkers::close() {
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
    }
    namesCame_.notify_all();
    allDone_.notify_all();
}

bool TitleWorkers::waitFor(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return allDone_.wait_for(lock, limit,
                             [this] { return failure_ || (closed_ && done_.load() == total_); });
}

std::vector<std::string> TitleWorkers::takeTitles() {
    const std::lock_guard lock(mutex_);
    if (failure_) {
        std::rethrow_exception(failure_);
    }
    std::vector<std::string> titles;
    titles.reserve(total_);
    for (Batch& batch : batches_) {
        std::move(batch.titles.begin(), batch.titles.end(), std::back_inserter(titles));
    }
    return titles;
}

void TitleWorkers::work() {
    for (;;) {
        Batch* batch = nullptr;
        std::size_t begin = 0;
        std::size_t end = 0;
        {
            std::unique_lock lock(mutex_);
            namesCame_.wait(lock,
                            [this] { return stop_ || closed_ || claimBatch_ < batches_.size(); });
            if (stop_ || claimBatch_ == batches_.size()) {
                return;  // stopped, or closed with every name claimed
            }
            batch = &batches_[claimBatch_];
            begin = claimAt_;
            end = std::min(batch->names.size(), begin + kNamesPerClaim);
            claimAt_ = end;
            if (claimAt_ == batch->names.size()) {
                ++claimBatch_;
                claimAt_ = 0;
            }
        }
        try {
            for (std::size_t i = begin; i < end && !stop_.load(std::memory_order_relaxed); ++i) {
                batch->titles[i] = titler_(batch->names[i]);
            }
        } catch (...) {
            {
                const std::lock_guard lock(mutex_);
                if (!failure_) {
                    failure_ = std::current_exception();
                }
                stop_ = true;
            }
            namesCame_.notify_all();
            allDone_.notify_all();
            return;
        }
        const std::lock_guard lock(mutex_);
        done_ += end - begin;
        if (closed_ && done_.load() == total_) {
            allDone_.notify_all();
        }
    }
}

}  // namespace pelmaro
