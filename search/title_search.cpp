#include "search/title_search.h"

namespace pelmaro {

TitleSearch::TitleSearch(platform::ListControl& titles, platform::Dialogs& dialogs,
                         std::function<void()> showPage)
    : titles_(titles), dialogs_(dialogs), showPage_(std::move(showPage)) {}

void TitleSearch::Search1Click() {}
void TitleSearch::NewSearch1Click() {}

}  // namespace pelmaro
