#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/list_control.h"
#include "platform/window.h"
#include "reader/background_job.h"

namespace pelmaro {

// What the full-text command works with; the lists are the window's.
struct FullTextServices {
    platform::ListControl& titles;
    platform::ListControl& paths;
    platform::ListControl& bookmarks;
    platform::ListControl& results;
    platform::Window& window;
    platform::Dialogs& dialogs;
    platform::FileSystem& files;
    // The command's menu entry: its label says what the next use does ("&Full search" or
    // "&Stop search"). Only written: the command's state is its own.
    platform::MenuItem& menuItem;
    platform::UiThread& ui;
};

// A page a search could not read, and why ("Cannot open file ...").
struct UnreadablePage {
    std::string path;
    std::string reason;
};

// One search as the result list shows it: its hits are the rows from firstRow on, `rows` of
// them, under a heading of their own.
struct SearchRun {
    std::string text;
    int firstRow = 0;
    int rows = 0;
    std::size_t pages = 0;
    // How many pages were searched when the search was stopped; none when it went to the end
    // or still runs.
    std::optional<std::size_t> stoppedAfter;
    std::vector<UnreadablePage> unreadable;
};

// "stopped after 7,300 of 82,580 pages" for a stopped search; empty otherwise.
std::string stoppedNote(const SearchRun& run);
// "3 pages could not be read" ("1 page ..."); empty when every page was read.
std::string unreadableNote(const SearchRun& run);
// One line per page that could not be read: "<path>: <reason>".
std::string unreadableDetails(const SearchRun& run);

// The full-text search: asks for a text, searches every page of the catalogue on a thread of
// its own, and appends the hits to the result list in batches, each search under its own
// heading. Its use while a search runs stops it. Runs on the window's thread.
class FullTextCommand {
public:
    enum class State { Idle, Running, Stopping };

    // `onStateChanged` runs whenever state() changes.
    FullTextCommand(FullTextServices services, std::function<void()> onStateChanged);

    State state() const { return state_; }
    // Asks for the text and starts the search; nothing when the text is empty (Cancel).
    void start();
    // The search ends at its next page, listing what it found so far.
    void stop();
    // The window closes: the search ends and hands nothing more over.
    void drop();
    // Another catalogue is shown: the results, whose rows meant its entries, go with their
    // headings.
    void clear();

    const std::vector<SearchRun>& runs() const { return runs_; }
    // The text of the search that found the result in row `row`; empty for none.
    const std::string& textOfRow(int row) const;

private:
    void setState(State state);
    void append(const std::vector<std::size_t>& hits, std::vector<UnreadablePage> unreadable);
    void finish(bool complete, std::size_t searched);
    void fail(const std::string& message);

    FullTextServices services_;
    std::function<void()> onStateChanged_;
    State state_ = State::Idle;
    std::vector<SearchRun> runs_;
    // Last: its threads end before the rest goes.
    BackgroundJob job_;
};

}  // namespace pelmaro
