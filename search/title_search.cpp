#include "search/title_search.h"

#include "search/text_matcher.h"

namespace pelmaro {
namespace {

// The first title from `from` on that holds the pattern; -1 when none does.
int findTitleFrom(const platform::TextList& titles, const FoldedPattern& pattern,
                  std::size_t from) {
    if (from >= titles.size()) {
        return -1;
    }
    auto title = titles.begin();
    std::advance(title, from);
    for (std::size_t i = from; title != titles.end(); ++title, ++i) {
        if (pattern.foundIn(*title)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace

TitleSearch::TitleSearch(platform::ListControl& titles, platform::Dialogs& dialogs,
                         std::function<void()> showPage)
    : titles_(titles), dialogs_(dialogs), showPage_(std::move(showPage)) {}

void TitleSearch::findNext() {
    if (searchText_.empty()) {
        searchText_ = dialogs_.inputBox("enter a string to search", "enter string", "");
        if (searchText_.empty()) {
            return;
        }
    }
    // Read in place: a catalogue may hold a few hundred thousand titles.
    const int found = findTitleFrom(titles_.items(), FoldedPattern(searchText_),
                                    static_cast<std::size_t>(titles_.selectedIndex() + 1));
    if (found >= 0) {
        titles_.select(found);
        showPage_();
        return;
    }
    // No wrap-around: the next Search asks for a new text and starts at the top.
    dialogs_.showMessage(searchText_ + " not found");
    searchText_.clear();
    titles_.clearSelection();
}

void TitleSearch::findFromTop() {
    titles_.clearSelection();
    searchText_.clear();
    findNext();
}

std::vector<int> findTitles(const platform::TextList& titles, std::string_view text) {
    const FoldedPattern pattern(text);
    std::vector<int> found;
    if (pattern.empty()) {
        return found;
    }
    int index = 0;
    for (const std::string_view title : titles) {
        if (pattern.foundIn(title)) {
            found.push_back(index);
        }
        ++index;
    }
    return found;
}

}  // namespace pelmaro
