#include "reader/full_text_command.h"

#include <algorithm>
#include <chrono>
#include <iterator>

#include "platform/line_list.h"
#include "search/full_text_search.h"

namespace pelmaro {
namespace {

constexpr const char* kIdleLabel = "&Full search";
constexpr const char* kRunningLabel = "&Stop search";

// The caption and each batch of results are a repaint each.
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

// 82580 -> "82,580".
std::string withThousands(std::size_t n) {
    const std::string digits = std::to_string(n);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            grouped += ',';
        }
        grouped += digits[i];
    }
    return grouped;
}

}  // namespace

std::string stoppedNote(const SearchRun& run) {
    if (!run.stoppedAfter) {
        return {};
    }
    return "stopped after " + withThousands(*run.stoppedAfter) + " of " + withThousands(run.pages) +
           " pages";
}

std::string unreadableNote(const SearchRun& run) {
    const std::size_t n = run.unreadable.size();
    if (n == 0) {
        return {};
    }
    return withThousands(n) + (n == 1 ? " page" : " pages") + " could not be read";
}

std::string unreadableDetails(const SearchRun& run) {
    std::string details;
    for (const UnreadablePage& page : run.unreadable) {
        if (!details.empty()) {
            details += '\n';
        }
        details += page.path + ": " + page.reason;
    }
    return details;
}

FullTextCommand::FullTextCommand(FullTextServices services, std::function<void()> onStateChanged)
    : services_(services), onStateChanged_(std::move(onStateChanged)), job_(services.ui) {}

void FullTextCommand::setState(State state) {
    state_ = state;
    services_.menuItem.setLabel(state == State::Running ? kRunningLabel : kIdleLabel);
    if (onStateChanged_) {
        onStateChanged_();
    }
}

void FullTextCommand::start() {
    if (state_ != State::Idle || services_.paths.count() == 0) {
        return;
    }
    // Said before the question: the label already offers to stop what is about to run.
    services_.menuItem.setLabel(kRunningLabel);
    services_.bookmarks.setVisible(false);
    services_.results.setVisible(true);
    const std::string text =
        services_.dialogs.inputBox("please enter a string to search", "pelmaro", "");
    if (text.empty()) {
        services_.results.setVisible(false);
        services_.menuItem.setLabel(kIdleLabel);
        return;
    }

    const platform::TextList& paths = services_.paths.items();
    // Before the window hears that the search began: the heading names its text.
    runs_.push_back({text, services_.results.count(), 0, paths.size(), std::nullopt, {}});
    setState(State::Running);
    platform::Window& window = services_.window;
    platform::FileSystem& files = services_.files;
    job_.start(
        [this, text, &window, &files, paths](std::stop_token stop,
                                             const BackgroundJob::Post& post) {
            const std::string total = " total is " + std::to_string(paths.size());
            std::vector<std::size_t> hits;
            std::vector<UnreadablePage> unreadable;
            // The caption and what was found since the last hand-over go to the window together.
            const auto handOver = [&](std::size_t n) {
                post([this, &window, caption = "search start" + std::to_string(n + 1) + total,
                      hits = std::move(hits), unreadable = std::move(unreadable)]() mutable {
                    window.setCaption(caption);
                    append(hits, std::move(unreadable));
                });
                hits.clear();
                unreadable.clear();
            };
            Throttle throttle(kProgressInterval);
            std::size_t searched = 0;
            const bool complete =
                searchFiles(files, paths, text, stop,
                            {.reading =
                                 [&](std::size_t n) {
                                     searched = n;
                                     if (n == 0 || n + 1 == paths.size() || throttle.due()) {
                                         handOver(n);
                                     }
                                 },
                             .found = [&](std::size_t n) { hits.push_back(n); },
                             .skipped =
                                 [&](std::size_t n, const std::string& reason) {
                                     unreadable.push_back({std::string(paths[n]), reason});
                                 }});
            post([this, hits = std::move(hits), unreadable = std::move(unreadable), complete,
                  searched]() mutable {
                append(hits, std::move(unreadable));
                finish(complete, searched);
            });
        },
        [this](const std::string& message) { fail(message); });
}

void FullTextCommand::append(const std::vector<std::size_t>& hits,
                             std::vector<UnreadablePage> unreadable) {
    SearchRun& run = runs_.back();
    std::move(unreadable.begin(), unreadable.end(), std::back_inserter(run.unreadable));
    if (hits.empty()) {
        return;
    }
    std::vector<std::string> references;
    references.reserve(hits.size());
    for (const std::size_t n : hits) {
        // With more paths than titles, a hit on a path without a title ends the search here.
        const int index = static_cast<int>(n);
        references.push_back(makeEntryReference(services_.titles.item(index), index));
    }
    run.rows += static_cast<int>(references.size());
    services_.results.append(std::move(references));
}

void FullTextCommand::finish(bool complete, std::size_t searched) {
    job_.finished();
    if (!complete) {
        runs_.back().stoppedAfter = searched;
    }
    services_.window.setCaption("found 100%");
    setState(State::Idle);
}

void FullTextCommand::stop() {
    if (state_ != State::Running) {
        return;
    }
    services_.window.setCaption("terminate");
    job_.requestStop();
    setState(State::Stopping);
}

void FullTextCommand::drop() {
    job_.drop();
    if (state_ != State::Idle) {
        setState(State::Idle);
    }
}

void FullTextCommand::fail(const std::string& message) {
    job_.drop();
    setState(State::Idle);
    // Called from a posted task: the error box is then a nested event loop inside it, and the
    // window's close cancels the box before the task returns.
    services_.dialogs.showError(message);
}

void FullTextCommand::clear() {
    services_.results.clear();
    runs_.clear();
}

const std::string& FullTextCommand::textOfRow(int row) const {
    static const std::string none;
    const auto after =
        std::upper_bound(runs_.begin(), runs_.end(), row,
                         [](int r, const SearchRun& run) { return r < run.firstRow; });
    return after == runs_.begin() ? none : std::prev(after)->text;
}

}  // namespace pelmaro
