#include "reader/background_job.h"

#include <exception>
#include <utility>

namespace pelmaro {

BackgroundJob::~BackgroundJob() {
    // Tasks still queued find the job gone: they hold the generation weakly.
    for (Piece& piece : pieces_) {
        piece.thread.request_stop();
    }
    pieces_.clear();  // each jthread joins as it goes
}

void BackgroundJob::start(Work work, std::function<void(const std::string&)> onError) {
    drop();
    reap();
    const std::uint64_t generation = ++*generation_;
    current_ = true;
    std::weak_ptr<std::uint64_t> live = generation_;
    auto report = std::make_shared<std::function<void(const std::string&)>>(std::move(onError));
    Post post = [&ui = ui_, live, generation, report](std::function<void()> task) {
        ui.post([live, generation, report, task = std::move(task)] {
            const auto now = live.lock();
            if (!now || *now != generation) {
                return;  // stale: a newer piece, a drop, or the job is gone
            }
            try {
                task();
            } catch (const std::exception& error) {
                if (*report) {
                    (*report)(error.what());
                }
            }
        });
    };
    auto ended = std::make_shared<std::atomic<bool>>(false);
    pieces_.push_back({std::jthread([work = std::move(work), post = std::move(post), ended,
                                     report](std::stop_token stop) {
                           try {
                               work(stop, post);
                           } catch (const std::exception& error) {
                               post([report, message = std::string(error.what())] {
                                   if (*report) {
                                       (*report)(message);
                                   }
                               });
                           }
                           ended->store(true);
                       }),
                       ended});
}

void BackgroundJob::requestStop() {
    if (current_ && !pieces_.empty()) {
        pieces_.back().thread.request_stop();
    }
}

void BackgroundJob::drop() {
    requestStop();
    ++*generation_;
    current_ = false;
}

void BackgroundJob::wait() {
    for (Piece& piece : pieces_) {
        if (piece.thread.joinable()) {
            piece.thread.join();
        }
    }
    pieces_.clear();
}

bool BackgroundJob::idle() {
    reap();
    return pieces_.empty();
}

void BackgroundJob::reap() {
    std::erase_if(pieces_, [](const Piece& piece) { return piece.ended->load(); });
}

}  // namespace pelmaro
