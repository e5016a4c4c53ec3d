#include "search/title_search.h"

#include "search/text_matcher.h"

namespace pelmaro {

TitleSearch::TitleSearch(platform::ListControl& titles, platform::Dialogs& dialogs,
                         std::function<void()> showPage)
    : titles_(titles), dialogs_(dialogs), showPage_(std::move(showPage)) {}

void TitleSearch::Search1Click() {
    if (SearchText.empty()) {
        SearchText = dialogs_.inputBox("enter a string to search", "enter string", "");
        if (SearchText.empty()) {
            return;
        }
    }
    const FoldedPattern pattern(SearchText);
    // Read in place: a catalogue may hold a few hundred thousand titles.
    const std::vector<std::string>& titles = titles_.items();
    for (std::size_t i = static_cast<std::size_t>(titles_.selectedIndex() + 1); i < titles.size();
         ++i) {
        if (pattern.foundIn(titles[i])) {
            titles_.select(static_cast<int>(i));
            showPage_();
            return;
        }
    }
    // No wrap-around: the next Search asks for a new text and starts at the top.
    dialogs_.showMessage(SearchText + " not found");
    SearchText.clear();
    titles_.clearSelection();
}

void TitleSearch::NewSearch1Click() {
    titles_.clearSelection();
    SearchText.clear();
    Search1Click();
}

std::vector<int> findTitles(const std::vector<std::string>& titles, std::string_view text) {
    const FoldedPattern pattern(text);
    std::vector<int> found;
    for (std::size_t i = 0; i < titles.size(); ++i) {
        if (pattern.foundIn(titles[i])) {
            found.push_back(static_cast<int>(i));
        }
    }
    return found;
}

}  // namespace pelmaro
