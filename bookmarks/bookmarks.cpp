#include "bookmarks/bookmarks.h"

namespace pelmaro {

Bookmarks::Bookmarks(platform::ListControl& titles, platform::ListControl& bookmarkList,
                     platform::ListControl& resultList, const CurrentCatalogue& current,
                     platform::Dialogs& dialogs, platform::FileSystem& files)
    : titles_(titles),
      list_(bookmarkList),
      results_(resultList),
      current_(current),
      dialogs_(dialogs),
      files_(files) {}

void Bookmarks::load() {}
void Bookmarks::switchCatalogue() {}
void Bookmarks::AddNewbookmark1Click() {}
void Bookmarks::DeleteBookmark1Click() {}
void Bookmarks::Bookmark1Click() {}
void Bookmarks::shutdown() {}

}  // namespace pelmaro
