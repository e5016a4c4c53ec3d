#include "search/full_text_search.h"

namespace pelmaro {

bool FileContainsText(platform::FileSystem&, const std::string&, const std::string&) {
    return false;
}

FullTextSearch::FullTextSearch(Catalogue catalogue, platform::ListControl& resultList,
                               platform::ListControl& bookmarkList, platform::MenuItem& command,
                               platform::Window& window, platform::Dialogs& dialogs,
                               platform::FileSystem& files, platform::LongCommandGate& gate)
    : catalogue_(catalogue),
      results_(resultList),
      bookmarks_(bookmarkList),
      command_(command),
      window_(window),
      dialogs_(dialogs),
      files_(files),
      gate_(gate) {}

void FullTextSearch::Fullsearch1Click() {}
void FullTextSearch::Result1Click() {}

}  // namespace pelmaro
