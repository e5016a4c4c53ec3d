#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue.h"
#include "page/shown_title.h"
#include "platform/file_system.h"
#include "platform/window.h"
#include "reader/background_job.h"
#include "search/quick_find.h"

namespace pelmaro {

// The titles of the catalogue as people read them, and their quick-find index. Every title is
// decoded on a thread of its own whenever the catalogue changes; until that is done, a list row
// is decoded when it is first painted (one page head each), and work that needs every title
// (the title search) waits for the index instead of reading heads on the window's thread.
class TitleIndex {
public:
    TitleIndex(Catalogue catalogue, platform::FileSystem& files, platform::UiThread& ui);

    // The lists hold another catalogue: what was decoded or indexed of the last one goes, and
    // so does the work that waited for it. Indexing starts with index().
    void forget();
    // Decodes every title and builds the quick-find index on the index's thread; what waits
    // for the index runs once it is there.
    void index();
    bool ready() const { return quickFind_.has_value(); }

    // The title of an entry as people read it (character references and the page's encoding
    // decoded, UTF-8); empty for an index the catalogue doesn't have. Kept once decoded.
    const std::string& shownTitle(int entry);
    // The title part of an entry reference ("Java &amp; more|12") as people read it, decoded as
    // its entry's page would be.
    std::string shownReference(std::string_view reference);
    // Ranked quick find over the shown titles (search/quick_find.h); none until indexed.
    std::optional<QuickFindResult> quickFind(std::string_view query);

    // Runs `task` now when the index is ready, else on the window's thread once it is; dropped
    // when the catalogue changes first.
    void whenReady(std::function<void()> task);
    // Runs whenever the index of a new catalogue is ready.
    void setOnIndexed(std::function<void()> onIndexed) { onIndexed_ = std::move(onIndexed); }

private:
    void indexed(std::vector<std::string> shown, QuickFind index);

    Catalogue catalogue_;
    platform::FileSystem& files_;
    TitleDecoder decoder_;
    // The shown text of every entry and their quick-find index, once indexed.
    std::vector<std::string> shown_;
    std::optional<QuickFind> quickFind_;
    std::vector<std::function<void()>> waiting_;
    std::function<void()> onIndexed_;
    // Last: its threads end before the rest goes.
    BackgroundJob job_;
};

}  // namespace pelmaro
