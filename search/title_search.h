#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/list_control.h"
#include "platform/window.h"

namespace pelmaro {

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

private:
    std::string searchText_;
    platform::ListControl& titles_;
    platform::Dialogs& dialogs_;
    std::function<void()> showPage_;
};

// The indexes of every title that Search would stop at for `text`, in catalogue order: those that
// contain it, A-Z case ignored. An empty text finds none.
std::vector<int> findTitles(const platform::TextList& titles, std::string_view text);

}  // namespace pelmaro
