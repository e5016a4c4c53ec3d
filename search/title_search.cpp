#include "search/title_search.h"

#include "search/text_matcher.h"

namespace pelmaro {
namespace {

// The first title from `from` on that holds the pattern; -1 when none does.
int findTitleFrom(const std::vector<std::string>& titles, const FoldedPattern& pattern,
                  std::size_t from) {
    for (std::size_t i = from; i < titles.size(); ++i) {
        if (pattern.foundIn(titles[i])) {
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

std::vector<int> findTitles(const std::vector<std::string>& titles, std::string_view text) {
    const FoldedPattern pattern(text);
    std::vector<int> found;
    for (int at = findTitleFrom(titles, pattern, 0); at >= 0;
         at = findTitleFrom(titles, pattern, static_cast<std::size_t>(at) + 1)) {
        found.push_back(at);
    }
    return found;
}

}  // namespace pelmaro
