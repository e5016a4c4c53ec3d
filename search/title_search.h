#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/list_control.h"
#include "platform/window.h"

namespace pelmaro {

// Search (F3) finds the next title containing the search text; New Search (F4) starts again from
// the top with a new text.
class TitleSearch {
public:
    TitleSearch(platform::ListControl& titles, platform::Dialogs& dialogs,
                std::function<void()> showPage);

    void Search1Click();
    void NewSearch1Click();

    // The current search text; empty means the next Search asks for one.
    std::string SearchText;

private:
    platform::ListControl& titles_;
    platform::Dialogs& dialogs_;
    std::function<void()> showPage_;
};

// The indexes of every title that Search would stop at for `text`, in catalogue order: those that
// contain it, A-Z case ignored. An empty text finds none.
std::vector<int> findTitles(const platform::TextList& titles, std::string_view text);

}  // namespace pelmaro
