#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/list_control.h"
#include "platform/window.h"
#include "search/text_matcher.h"

namespace pelmaro {

// Whether the shown text of a title (decoded, UTF-8) contains `searchText`, both folded as shown
// text (search/shown_text.h): Unicode simple case folding ("été" finds "Été", "ΣΟΦΙΑ" finds
// "σοφία"), NFC, and white space runs as one space ("Chapter 9" finds "Chapter" U+00A0 "9"). An
// empty text matches nothing.
bool titleMatches(std::string_view shownText, std::string_view searchText);

// A search text prepared for many titles. A title matches when its stored bytes contain the text
// with A-Z case ignored (the byte rule, unchanged), or when its shown text contains it with
// Unicode case ignored (titleMatches).
class TitleMatcher {
public:
    explicit TitleMatcher(std::string_view searchText);
    bool matches(std::string_view storedTitle, std::string_view shownText) const;

private:
    FoldedPattern bytes_;              // A-Z folded
    std::string foldedText_;           // folded as shown text
    mutable std::string shownFolded_;  // reused from title to title
};

// Finds the next title containing the search text after the selected one, asking for a text when
// there is none; or forgets text and selection and starts again from the top. Never wraps around:
// after a miss the next search asks for a new text and starts at the top.
class TitleSearch {
public:
    TitleSearch(platform::ListControl& titles, platform::Dialogs& dialogs,
                std::function<void()> showPage);

    void findNext();
    void findFromTop();

    // Empty means the next search asks for a text.
    const std::string& searchText() const { return searchText_; }

    // The shown text of entry i (TitleDecoder::shown in the window); when set, a title also
    // matches by its shown text (TitleMatcher). Unset, titles match by their bytes only.
    using ShownTitle = std::function<const std::string&(int entry)>;
    void setShownTitle(ShownTitle shownTitle) { shownTitle_ = std::move(shownTitle); }

private:
    std::string searchText_;
    ShownTitle shownTitle_;
    platform::ListControl& titles_;
    platform::Dialogs& dialogs_;
    std::function<void()> showPage_;
};

// The indexes of every title that Search would stop at for `text`, in catalogue order: those that
// contain it, A-Z case ignored. An empty text finds none.
std::vector<int> findTitles(const platform::TextList& titles, std::string_view text);
// The same when the shown texts are known (shownTitles[i] of titles[i]): by TitleMatcher.
std::vector<int> findTitles(const platform::TextList& titles,
                            const std::vector<std::string>& shownTitles, std::string_view text);

}  // namespace pelmaro
