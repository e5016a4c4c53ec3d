#include "search/full_text_search.h"

#include <chrono>

#include "catalogue/line_list.h"
#include "platform/error.h"
#include "search/text_matcher.h"

namespace pelmaro {
namespace {

constexpr const char* kIdleLabel = "&Full search";
constexpr const char* kRunningLabel = "&Stop search";
// The progress caption is a window-system call: with a hundred thousand small files, setting it
// for every file would cost more than reading them.
constexpr auto kCaptionInterval = std::chrono::milliseconds(100);

}  // namespace

bool FileContainsText(platform::FileSystem& files, const std::string& fileName,
                      const std::string& text) {
    return FileTextScanner(text).scan(files, fileName) == FileTextScanner::Outcome::Found;
}

FullTextSearch::FullTextSearch(Catalogue catalogue, platform::ListControl& resultList,
                               platform::ListControl& bookmarkList, platform::MenuItem& command,
                               platform::Window& window, platform::Dialogs& dialogs,
                               platform::FileSystem& files, platform::LongCommandGate& gate)
    : catalogue_(catalogue),
      results_(resultList),
      bookmarks_(bookmarkList),
      command_(command),
      window_(window),
      dialogs_(dialogs),
      files_(files),
      gate_(gate) {}

void FullTextSearch::Fullsearch1Click() {
    if (catalogue_.paths.count() == 0) {
        return;
    }
    if (running_) {
        requestStop();
        return;
    }
    if (gate_.busy()) {
        // A build or an Open is changing the catalogue this search would walk.
        return;
    }
    if (command_.label() != kIdleLabel) {
        requestStop();
        return;
    }
    command_.setLabel(kRunningLabel);
    bookmarks_.setVisible(false);
    StopRequested = false;
    results_.setVisible(true);
    const std::string text = dialogs_.inputBox("please enter a string to search", "pelmaro", "");
    if (text.empty()) {
        results_.setVisible(false);
        command_.setLabel(kIdleLabel);
        return;
    }
    searchFiles(text);
}

void FullTextSearch::requestStop() {
    command_.setLabel(kIdleLabel);
    window_.setStatus("terminate");
    StopRequested = true;
}

void FullTextSearch::searchFiles(const std::string& text) {
    const platform::LongCommandGate::Hold hold(gate_);
    // However the loop ends (run through, stopped, or failed), the next F11 starts a new search.
    struct Finish {
        FullTextSearch& search;
        ~Finish() {
            search.running_ = false;
            search.command_.setLabel(kIdleLabel);
        }
    } const finish{*this};
    running_ = true;

    const auto stopping = [this] { return StopRequested || window_.closeRequested(); };
    // Inside a huge file: let the window breathe every few megabytes and give up the file at once
    // when the user stops.
    const auto keepGoing = [this, &stopping] {
        window_.processPendingMessages();
        return !stopping();
    };
    FileTextScanner scanner(text);
    const int total = catalogue_.paths.count();
    auto lastCaption = std::chrono::steady_clock::time_point();
    for (int n = 0; n < total; ++n) {
        window_.processPendingMessages();
        const auto now = std::chrono::steady_clock::now();
        if (n == 0 || n + 1 == total || now - lastCaption >= kCaptionInterval) {
            lastCaption = now;
            window_.setStatus("search start" + std::to_string(n + 1) + " total is " +
                              std::to_string(catalogue_.paths.count()));
        }
        if (stopping()) {
            break;
        }
        // A copy: the window handles events while the file is read.
        const std::string path(catalogue_.paths.item(n));
        FileTextScanner::Outcome outcome;
        try {
            outcome = scanner.scan(files_, path, keepGoing);
        } catch (const Error&) {
            // Removed, locked or unreadable since the catalogue was built: the other files still
            // count.
            continue;
        }
        if (outcome == FileTextScanner::Outcome::Found) {
            results_.add(makeEntryReference(catalogue_.titles.item(n), n));
        }
    }
    window_.setStatus("found 100%");
}

void FullTextSearch::Result1Click() {
    results_.setVisible(!results_.isVisible());
    bookmarks_.setVisible(false);
}

}  // namespace pelmaro
