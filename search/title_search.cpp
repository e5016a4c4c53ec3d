#include "search/title_search.h"

#include "search/shown_text.h"
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

// The same by TitleMatcher, with the shown text of each title.
template <typename Shown>
int findShownTitleFrom(const platform::TextList& titles, const TitleMatcher& matcher,
                       const Shown& shown, std::size_t from) {
    if (from >= titles.size()) {
        return -1;
    }
    auto title = titles.begin();
    std::advance(title, from);
    for (std::size_t i = from; title != titles.end(); ++title, ++i) {
        if (matcher.matches(*title, shown(static_cast<int>(i)))) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace

bool titleMatches(std::string_view shownText, std::string_view searchText) {
    const std::string folded = foldShownText(searchText);
    return !folded.empty() && foldShownText(shownText).find(folded) != std::string::npos;
}

TitleMatcher::TitleMatcher(std::string_view searchText)
    : bytes_(searchText), foldedText_(foldShownText(searchText)) {}

bool TitleMatcher::matches(std::string_view storedTitle, std::string_view shownText) const {
    if (foldedText_.empty()) {
        return false;
    }
    if (bytes_.foundIn(storedTitle)) {
        return true;
    }
    shownFolded_.clear();
    appendShownFolded(shownFolded_, shownText);
    return shownFolded_.find(foldedText_) != std::string::npos;
}

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
    const auto from = static_cast<std::size_t>(titles_.selectedIndex() + 1);
    const int found =
        shownTitle_
            ? findShownTitleFrom(titles_.items(), TitleMatcher(searchText_), shownTitle_, from)
            : findTitleFrom(titles_.items(), FoldedPattern(searchText_), from);
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

std::vector<int> findTitles(const platform::TextList& titles,
                            const std::vector<std::string>& shownTitles, std::string_view text) {
    const TitleMatcher matcher(text);
    const auto shown = [&](int i) -> const std::string& {
        return shownTitles[static_cast<std::size_t>(i)];
    };
    std::vector<int> found;
    for (int at = findShownTitleFrom(titles, matcher, shown, 0); at >= 0;
         at = findShownTitleFrom(titles, matcher, shown, static_cast<std::size_t>(at) + 1)) {
        found.push_back(at);
    }
    return found;
}

}  // namespace pelmaro
