#include "reader/full_text_command.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <optional>
#include <string_view>
#include <utility>

#include "index/index_store.h"
#include "page/html_references.h"
#include "page/shown_title.h"
#include "platform/byte_text.h"
#include "platform/error.h"
#include "platform/file_names.h"
#include "platform/file_system.h"
#include "platform/line_list.h"
#include "search/case_fold.h"
#include "search/full_text_search.h"
#include "search/shown_text.h"
#include "search/shown_text_search.h"

namespace pelmaro {
namespace {

constexpr const char* kIdleLabel = "&Full search";
constexpr const char* kRunningLabel = "&Stop search";

// The caption and each batch of results are a repaint each.
constexpr auto kProgressInterval = std::chrono::milliseconds(100);
// And each batch costs the window a pass over every row its list holds: a long list gets its
// batches less often, a millisecond apart for each thousand rows. A million hits listed in
// batches a tenth of a second apart kept the window's thread busy for a third of the search.
constexpr std::size_t kRowsPerMillisecond = 1000;

// Context on either side of the hit, in bytes of shown text.
constexpr std::size_t kContextAround = 60;
// A first hit deeper than this in its page gets no context line: making one means reading the
// page up to it on the window's thread. The largest pages of real documentation trees show less
// (an index page of the Java API: 1.7 MB, made in 13-20 ms).
constexpr std::size_t kDeepestContext = 4 * 1024 * 1024;
constexpr std::size_t kContextsKept = 512;

// A repeated title names at least its last two folders ("reference/datamodel" from
// "library/datamodel"), and more where those don't tell its pages apart (copies of one tree), up
// to this many.
constexpr std::uint8_t kFewestFoldersShown = 2;
constexpr std::uint8_t kMostFoldersShown = 8;

// The last `count` folders of `folder` (all of it when it has fewer).
std::string_view lastFolders(std::string_view folder, int count) {
    std::size_t start = folder.size();
    for (int i = 0; i < count; ++i) {
        if (start == 0) {
            return folder;
        }
        start = folder.rfind('/', start - 1);
        if (start == std::string_view::npos) {
            return folder;
        }
    }
    return folder.substr(start + 1);
}

// The fewest last folders, from kFewestFoldersShown on, that tell these folders apart (each
// named once).
std::uint8_t foldersTellingApart(const std::vector<std::string_view>& folders) {
    std::uint8_t count = kFewestFoldersShown;
    std::vector<std::string_view> shown;
    for (; count < kMostFoldersShown && folders.size() > 1; ++count) {
        shown.clear();
        for (const std::string_view folder : folders) {
            shown.push_back(lastFolders(folder, count));
        }
        std::sort(shown.begin(), shown.end());
        if (std::adjacent_find(shown.begin(), shown.end()) == shown.end()) {
            break;
        }
    }
    return count;
}

// The title the catalogue stored for `path`, folded as shown text.
std::string foldedTitle(std::string_view storedTitle, std::string_view path) {
    return foldShownText(titleKindOf(storedTitle, path) == TitleKind::Markup
                             ? decodeCharacterReferences(storedTitle)
                             : std::string(storedTitle));
}

// Whether the title the catalogue stored for `path` shows the folded text.
bool titleShows(std::string_view storedTitle, std::string_view path, const std::string& folded) {
    return foldedTitle(storedTitle, path).find(folded) != std::string::npos;
}

// Moves `at` back to the start of the UTF-8 character it is in.
std::size_t characterStart(std::string_view text, std::size_t at) {
    while (at > 0 && at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
        --at;
    }
    return at;
}

// The line around the hit at `hitStart` in a page's shown head, cut at spaces where it can be,
// from `textStart` on.
ContextLine contextAround(const std::string& head, std::size_t hitStart, std::size_t hitLength,
                          std::size_t textStart) {
    ContextLine line;
    if (hitStart + hitLength > head.size()) {
        return line;
    }
    std::size_t from =
        std::max(textStart, hitStart > kContextAround ? hitStart - kContextAround : 0);
    if (from > textStart) {
        const std::size_t space = head.find(' ', from);
        from =
            space != std::string::npos && space < hitStart ? space + 1 : characterStart(head, from);
    }
    std::size_t to = std::min(head.size(), hitStart + hitLength + kContextAround);
    if (to < head.size()) {
        const std::size_t space = head.rfind(' ', to);
        to = space != std::string::npos && space > hitStart + hitLength ? space
                                                                        : characterStart(head, to);
    }
    static constexpr std::string_view kEllipsis = "\u2026";
    if (from > textStart) {
        line.text = kEllipsis;
    }
    line.hitStart = line.text.size() + (hitStart - from);
    line.hitLength = hitLength;
    line.text.append(head, from, to - from);
    if (to < head.size()) {
        line.text += kEllipsis;
    }
    return line;
}

// Best first as two numbers that sort the same way: a hit in the title, then the most hits (the
// fewest missing from 2^32), then the earliest first hit, then catalogue order.
using RankKey = std::pair<std::uint64_t, std::uint64_t>;
RankKey rankKey(const ResultHit& hit) {
    return {(std::uint64_t{hit.inTitle ? 0U : 1U} << 32) | (0xFFFFFFFFU - hit.count),
            (std::uint64_t{hit.firstOffset} << 32) | hit.entry};
}

}  // namespace

bool rankedBefore(const ResultHit& a, const ResultHit& b) {
    return rankKey(a) < rankKey(b);
}

std::string stoppedNote(const SearchRun& run) {
    if (!run.stoppedAfter) {
        return {};
    }
    return "stopped after " + withThousands(*run.stoppedAfter) + " of " + withThousands(run.pages) +
           " pages";
}

std::string findTextOf(std::string_view searchText) {
    std::string text;
    bool space = false;
    for (std::size_t i = 0; i < searchText.size(); ++i) {
        const char c = searchText[i];
        const bool noBreak =
            c == '\xC2' && i + 1 < searchText.size() && searchText[i + 1] == '\xA0';
        if (c == ' ' || (c >= '\t' && c <= '\r') || noBreak) {
            space = !text.empty();
            i += noBreak ? 1 : 0;
            continue;
        }
        if (space) {
            text += ' ';
            space = false;
        }
        text += c;
    }
    return text;
}

std::string foundNote(const SearchRun& run) {
    return withThousands(static_cast<std::size_t>(run.rows)) + " found";
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

void FullTextCommand::start(SearchNarrowing narrowing) {
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
    // A result of an earlier search stays chosen no more: Enter is for the rows to come.
    services_.results.clearSelection();
    // Before the window hears that the search began: the heading names its text.
    const int firstRow = services_.results.count();
    runs_.push_back({text, firstRow, 0, paths.size(), std::nullopt, {}, {}});
    setState(State::Running);
    platform::Window& window = services_.window;
    platform::FileSystem& files = services_.files;
    job_.start(
        [this, text, firstRow, &window, &files, paths, titles = services_.titles.items(),
         narrowing = std::move(narrowing)](std::stop_token stop, const BackgroundJob::Post& post) {
            // The index narrows the pages to read; the pages it can't vouch for are among them.
            std::optional<CandidatePages> candidates;
            if (narrowing.index) {
                std::size_t changedPages = 0;
                candidates =
                    index::candidatePages(*narrowing.index, files, paths, text, &changedPages,
                                          narrowing.onlyStamps ? &*narrowing.onlyStamps : nullptr,
                                          narrowing.reindexed.get());
                if (changedPages > 0) {
                    post([this, changedPages] {
                        if (onPagesChanged_) {
                            onPagesChanged_(changedPages);
                        }
                    });
                }
            }
            const std::string total = " total is " + std::to_string(paths.size());
            const std::string folded = foldShownText(text);
            std::vector<Found> hits;
            std::vector<UnreadablePage> unreadable;
            Throttle throttle(kProgressInterval);
            auto listed = static_cast<std::size_t>(firstRow);
            // The caption and what was found since the last hand-over go to the window together.
            const auto handOver = [&](std::size_t n) {
                listed += hits.size();
                throttle.setInterval(std::max(
                    kProgressInterval, std::chrono::milliseconds(listed / kRowsPerMillisecond)));
                post([this, &window, caption = "search start" + std::to_string(n + 1) + total,
                      hits = std::move(hits), unreadable = std::move(unreadable)]() mutable {
                    window.setCaption(caption);
                    append(hits, std::move(unreadable));
                });
                hits.clear();
                unreadable.clear();
            };
            bool handedHits = false;
            std::size_t searched = 0;
            const bool complete = searchFiles(
                files, paths, text, stop,
                {.reading =
                     [&](std::size_t n) {
                         searched = n;
                         // The first hits go to the window at once: the list
                         // shows something as soon as there is something.
                         const bool first = !handedHits && !hits.empty();
                         if (n == 0 || n + 1 == paths.size() || first || throttle.due()) {
                             handedHits = handedHits || !hits.empty();
                             handOver(n);
                         }
                     },
                 .found = {},
                 .skipped =
                     [&](std::size_t n, const std::string& reason) {
                         unreadable.push_back({std::string(paths[n]), reason});
                     },
                 .counted =
                     [&](std::size_t n, const PageHits& found) {
                         const bool inTitle =
                             n < titles.size() && titleShows(titles[n], paths[n], folded);
                         hits.push_back({n, {found.count, found.firstOffset, inTitle}});
                     }},
                TextRule::Shown, candidates ? &*candidates : nullptr);
            post([this, hits = std::move(hits), unreadable = std::move(unreadable), complete,
                  searched]() mutable {
                append(hits, std::move(unreadable));
                finish(complete, searched);
            });
        },
        [this](const std::string& message) { fail(message); });
}

void FullTextCommand::append(const std::vector<Found>& hits,
                             std::vector<UnreadablePage> unreadable) {
    SearchRun& run = runs_.back();
    std::move(unreadable.begin(), unreadable.end(), std::back_inserter(run.unreadable));
    if (hits.empty()) {
        return;
    }
    std::vector<std::string> references;
    references.reserve(hits.size());
    for (const Found& found : hits) {
        // With more paths than titles, a hit on a path without a title ends the search here.
        const int index = static_cast<int>(found.entry);
        references.push_back(makeEntryReference(services_.titles.item(index), index));
        run.hits.push_back({static_cast<std::uint32_t>(found.entry), found.hits.count,
                            found.hits.firstOffset, found.hits.inTitle, false});
    }
    run.rows += static_cast<int>(references.size());
    services_.results.append(std::move(references));
    if (onRowsAdded_) {
        onRowsAdded_();
    }
}

void FullTextCommand::finish(bool complete, std::size_t searched) {
    job_.finished();
    if (!complete) {
        runs_.back().stoppedAfter = searched;
    }
    markRepeatedTitles();
    arrange(runs_.size() - 1, runs_.size());
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
    contexts_.clear();
}

std::vector<SearchRun>::const_iterator FullTextCommand::runOfRow(int row) const {
    const auto after =
        std::upper_bound(runs_.begin(), runs_.end(), row,
                         [](int r, const SearchRun& run) { return r < run.firstRow; });
    if (after == runs_.begin() || row < 0) {
        return runs_.end();
    }
    const auto run = std::prev(after);
    return row < run->firstRow + run->rows ? run : runs_.end();
}

const std::string& FullTextCommand::textOfRow(int row) const {
    static const std::string none;
    const auto run = runOfRow(row);
    return run == runs_.end() ? none : run->text;
}

const ResultHit* FullTextCommand::hitOfRow(int row) const {
    const auto run = runOfRow(row);
    if (run == runs_.end() || static_cast<std::size_t>(row - run->firstRow) >= run->hits.size()) {
        return nullptr;
    }
    return &run->hits[static_cast<std::size_t>(row - run->firstRow)];
}

void FullTextCommand::markRepeatedTitles() {
    SearchRun& run = runs_.back();
    const platform::TextList& titles = services_.titles.items();
    // The results' titles, read in one pass when they are in catalogue order (as a search finds
    // them); a title's lookup by its index walks up to 63 others.
    std::vector<std::string_view> titleOf(run.hits.size());
    auto title = titles.begin();
    std::size_t at = 0;
    for (std::size_t i = 0; i < run.hits.size(); ++i) {
        const std::size_t entry = run.hits[i].entry;
        if (entry >= titles.size()) {
            continue;
        }
        if (entry < at) {
            titleOf[i] = titles[entry];
            continue;
        }
        for (; at < entry; ++at) {
            ++title;
        }
        titleOf[i] = *title;
    }
    // The results with the same title together: (its hash, result), sorted, then each run of
    // equal hashes split by the titles themselves.
    std::vector<std::pair<std::size_t, std::uint32_t>> byTitle(run.hits.size());
    for (std::size_t i = 0; i < run.hits.size(); ++i) {
        byTitle[i] = {std::hash<std::string_view>{}(titleOf[i]), static_cast<std::uint32_t>(i)};
    }
    std::sort(byTitle.begin(), byTitle.end(), [&](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : titleOf[a.second] < titleOf[b.second];
    });
    const platform::TextList& paths = services_.paths.items();
    std::vector<std::pair<std::string_view, std::uint32_t>> placed;  // (folder, result)
    std::vector<std::string_view> folders;
    for (std::size_t from = 0; from < byTitle.size();) {
        std::size_t to = from + 1;
        while (to < byTitle.size() && byTitle[to].first == byTitle[from].first &&
               titleOf[byTitle[to].second] == titleOf[byTitle[from].second]) {
            ++to;
        }
        if (to - from > 1) {
            placed.clear();
            for (std::size_t k = from; k < to; ++k) {
                const std::uint32_t entry = run.hits[byTitle[k].second].entry;
                if (entry < paths.size()) {
                    placed.emplace_back(platform::folderPart(paths[entry]), byTitle[k].second);
                }
            }
            // The results of the title by folder: those of one folder are told apart by their
            // file names.
            std::sort(placed.begin(), placed.end());
            folders.clear();
            for (std::size_t i = 0; i < placed.size();) {
                std::size_t j = i + 1;
                while (j < placed.size() && placed[j].first == placed[i].first) {
                    ++j;
                }
                for (std::size_t m = i; m < j; ++m) {
                    run.hits[placed[m].second].nameShown = j - i > 1;
                }
                folders.push_back(placed[i].first);
                i = j;
            }
            const std::uint8_t shown = foldersTellingApart(folders);
            for (std::size_t k = from; k < to; ++k) {
                run.hits[byTitle[k].second].titleRepeats = true;
                run.hits[byTitle[k].second].foldersShown = shown;
            }
        }
        from = to;
    }
}

void FullTextCommand::setOrder(ResultOrder order) {
    if (order == order_) {
        return;
    }
    order_ = order;
    // The search that still runs is put in order when it ends.
    arrange(0, state_ == State::Idle ? runs_.size() : runs_.size() - 1);
}

void FullTextCommand::arrange(std::size_t first, std::size_t last) {
    const auto keyOf = [this](const ResultHit& hit) {
        return order_ == ResultOrder::Catalogue ? RankKey{0, hit.entry} : rankKey(hit);
    };
    platform::ListControl& results = services_.results;
    const int selected = results.selectedIndex();
    int selectedAfter = selected;
    // The rows as they stand (the list shares them), then in their new order.
    const platform::TextList rowsBefore = results.items();
    std::vector<std::string_view> rows;
    for (std::size_t r = first; r < last; ++r) {
        SearchRun& run = runs_[r];
        // A run whose rows don't match its hits (rows not found by this search) is left alone.
        if (run.hits.size() != static_cast<std::size_t>(run.rows) ||
            static_cast<std::size_t>(run.firstRow + run.rows) > rowsBefore.size()) {
            continue;
        }
        // Sorted by their keys side by side: a million of them in a tenth of a second.
        std::vector<std::pair<RankKey, std::uint32_t>> keyed(run.hits.size());
        for (std::size_t i = 0; i < keyed.size(); ++i) {
            keyed[i] = {keyOf(run.hits[i]), static_cast<std::uint32_t>(i)};
        }
        if (std::is_sorted(keyed.begin(), keyed.end())) {
            continue;
        }
        std::sort(keyed.begin(), keyed.end());
        std::vector<std::uint32_t> order(keyed.size());
        for (std::size_t i = 0; i < keyed.size(); ++i) {
            order[i] = keyed[i].second;
        }
        if (rows.empty()) {
            rows.assign(rowsBefore.begin(), rowsBefore.end());
        }
        const auto runRows = rows.begin() + run.firstRow;
        const std::vector<std::string_view> found(runRows, runRows + run.rows);
        std::vector<ResultHit> hits(order.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            hits[i] = run.hits[order[i]];
            runRows[static_cast<std::ptrdiff_t>(i)] = found[order[i]];
            if (selected == run.firstRow + static_cast<int>(order[i])) {
                selectedAfter = run.firstRow + static_cast<int>(i);
            }
        }
        run.hits = std::move(hits);
    }
    if (rows.empty()) {
        return;
    }
    platform::TextList arranged;
    std::size_t bytes = 0;
    for (const std::string_view row : rows) {
        bytes += row.size() + 2;
    }
    arranged.reserveBytes(bytes);
    for (const std::string_view row : rows) {
        arranged.push_back(row);
    }
    results.assign(std::move(arranged));
    if (selectedAfter >= 0) {
        results.select(selectedAfter);
    }
}

const ContextLine& FullTextCommand::contextOfRow(int row) {
    static const ContextLine none;
    const auto run = runOfRow(row);
    const ResultHit* hit = hitOfRow(row);
    if (hit == nullptr || hit->firstOffset > kDeepestContext ||
        static_cast<int>(hit->entry) >= services_.paths.count()) {
        return none;
    }
    const std::uint64_t key = (static_cast<std::uint64_t>(run - runs_.begin()) << 32) | hit->entry;
    if (const auto known = contexts_.find(key); known != contexts_.end()) {
        return known->second;
    }
    if (contexts_.size() >= kContextsKept) {
        contexts_.clear();
    }
    ContextLine line;
    try {
        // The search found the hit in the folded text; people read the page's own letters.
        ShownTextScanner scanner(run->text);
        const std::size_t hitLength = scanner.matcher().folded().size();
        const int entry = static_cast<int>(hit->entry);
        const std::string path(services_.paths.item(entry));
        // The row shows the title above the line: a page whose text opens with its title, with
        // the first hit there, has its line made around its first hit after it, when it has one.
        std::size_t offset = hit->firstOffset;
        std::string title;
        if (hit->inTitle && hit->count > 1 && entry < services_.titles.count()) {
            title = foldedTitle(services_.titles.item(entry), path);
            const std::optional<std::size_t> later =
                offset < title.size()
                    ? scanner.firstHitFrom(services_.files, path, title.size(), kDeepestContext)
                    : std::nullopt;
            offset = later.value_or(offset);
        }
        const std::string head =
            scanner.writtenHead(services_.files, path, offset + hitLength + kContextAround + 4);
        // The line starts after the title, which the row shows already.
        std::size_t textStart = 0;
        std::size_t start = 0;
        std::size_t length = 0;
        if (offset != hit->firstOffset) {
            if (foldedText(head).starts_with(title) &&
                writtenSpan(head, 0, title.size(), start, length)) {
                textStart = length + (head.compare(length, 1, " ") == 0 ? 1 : 0);
            } else {
                offset = hit->firstOffset;  // the title is not where the text starts
            }
        }
        if (writtenSpan(head, offset, hitLength, start, length)) {
            line = contextAround(head, start, length, textStart);
        }
    } catch (const Error&) {
        // Gone or damaged since the search: the row shows its title only.
    }
    return contexts_.emplace(key, std::move(line)).first->second;
}

std::string FullTextCommand::folderOfRow(int row) const {
    const ResultHit* hit = hitOfRow(row);
    if (hit == nullptr || !hit->titleRepeats ||
        static_cast<int>(hit->entry) >= services_.paths.count()) {
        return {};
    }
    // The whole path is on the page itself.
    const std::string_view path = services_.paths.item(static_cast<int>(hit->entry));
    const std::string_view folder = platform::folderPart(path);
    std::string_view shown = folder == "." || folder == "/"
                                 ? std::string_view()
                                 : lastFolders(folder, hit->foldersShown);
    if (!shown.empty() && shown.front() == '/') {
        shown.remove_prefix(1);
    }
    if (!hit->nameShown) {
        return std::string(shown);
    }
    return (shown.empty() ? std::string() : std::string(shown) + '/') +
           std::string(fileNameOf(path));
}

}  // namespace pelmaro
