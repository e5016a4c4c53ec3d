#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/file_system.h"
#include "platform/list_control.h"
#include "platform/window.h"
#include "reader/background_job.h"
#include "reader/search_index_keeper.h"

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

// How a found page holds the text, as the search thread tells it.
struct PageHitsInTitle {
    std::uint32_t count = 0;
    std::uint32_t firstOffset = 0;
    bool inTitle = false;
};

// A page a search could not read, and why ("Cannot open file ...").
struct UnreadablePage {
    std::string path;
    std::string reason;
};

// How a result holds its search's text: what the ranking orders by and the context line shows.
struct ResultHit {
    std::uint32_t entry = 0;
    std::uint32_t count = 0;        // hits in the page's shown text
    std::uint32_t firstOffset = 0;  // where the first starts in it, in bytes
    bool inTitle = false;
    bool titleRepeats = false;  // another result of the same search has the same title
    // How many of its last folders tell it from the other results of that title.
    std::uint8_t foldersShown = 2;
    bool nameShown = false;  // another of them lies in the same folder: its file name tells it
};

// The order of a search's results once it has ended.
enum class ResultOrder { BestFirst, Catalogue };

// Best first: hits in the title first, then pages with more hits, then an earlier first hit,
// then catalogue order.
bool rankedBefore(const ResultHit& a, const ResultHit& b);

// A line of a page's shown text around its first hit, which is text[hitStart, hitStart +
// hitLength). Empty when there is none to show.
struct ContextLine {
    std::string text;
    std::size_t hitStart = 0;
    std::size_t hitLength = 0;
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
    // One per row, in the rows' order.
    std::vector<ResultHit> hits;
};

// "stopped after 7,300 of 82,580 pages" for a stopped search; empty otherwise.
std::string stoppedNote(const SearchRun& run);
// The text for the page's find bar when a result opens: the search text with each run of white
// space (no-break spaces included) one space and none at either end, as the search matched it:
// "Chapter\u00A0 9 " finds "Chapter 9" on the page.
std::string findTextOf(std::string_view searchText);

// "1 found", "82,580 found": the rows of a search.
std::string foundNote(const SearchRun& run);
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
    // Asks for the text and starts the search; nothing when the text is empty (Cancel). With an
    // index of the catalogue (`narrowing`), only the pages it can't rule out are read; the
    // results are the same.
    void start(SearchNarrowing narrowing = {});
    // Runs when a search through the index found pages changed since it was built, with their
    // number.
    void setOnPagesChanged(std::function<void(std::size_t)> onPagesChanged) {
        onPagesChanged_ = std::move(onPagesChanged);
    }
    // Runs when a running search has added rows: its heading counts them as they come.
    void setOnRowsAdded(std::function<void()> onRowsAdded) {
        onRowsAdded_ = std::move(onRowsAdded);
    }
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
    // How the result in `row` holds its text; none for a row of no search.
    const ResultHit* hitOfRow(int row) const;

    ResultOrder order() const { return order_; }
    // Puts the rows of every search that has ended in `order`, as each search's rows are put
    // when it ends. The selected result stays selected, and so in view.
    void setOrder(ResultOrder order);

    // The line of shown text around the first hit of the result in `row`, read from its page
    // when first asked (only rows on screen are) and kept for a few hundred rows. Empty for a
    // page that can't be read, or whose first hit lies too deep in it to read here.
    const ContextLine& contextOfRow(int row);
    // The folder of the result's page ("library/asyncio"), for results whose titles repeat;
    // empty for the others.
    std::string folderOfRow(int row) const;

private:
    void setState(State state);
    struct Found {
        std::size_t entry;
        PageHitsInTitle hits;
    };
    void append(const std::vector<Found>& hits, std::vector<UnreadablePage> unreadable);
    // The run that row `row` belongs to; none (runs_.end()) for a row of no search.
    std::vector<SearchRun>::const_iterator runOfRow(int row) const;
    // Marks the results whose titles repeat within the last run.
    void markRepeatedTitles();
    // Sorts the runs [first, last) by order_ and rewrites their rows in one step.
    void arrange(std::size_t first, std::size_t last);
    void finish(bool complete, std::size_t searched);
    void fail(const std::string& message);

    FullTextServices services_;
    std::function<void()> onStateChanged_;
    std::function<void()> onRowsAdded_;
    std::function<void(std::size_t)> onPagesChanged_;
    State state_ = State::Idle;
    std::vector<SearchRun> runs_;
    ResultOrder order_ = ResultOrder::BestFirst;
    // Context lines made so far, by run and entry; forgotten all at once when there are many.
    std::unordered_map<std::uint64_t, ContextLine> contexts_;
    // Last: its threads end before the rest goes.
    BackgroundJob job_;
};

}  // namespace pelmaro
