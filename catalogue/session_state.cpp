#include "catalogue/session_state.h"

#include "catalogue/catalogue_files.h"
#include "catalogue/strings.h"

namespace pelmaro {
namespace {

constexpr const char* kLast = "last";
constexpr const char* kId = "id";

}  // namespace

SessionState::SessionState(Catalogue catalogue, CurrentCatalogue& current,
                           platform::SettingsStore& settings, platform::FileSystem& files)
    : catalogue_(catalogue), current_(current), settings_(settings), files_(files) {}

void SessionState::restore(const std::function<void()>& showPage) {
    current_.restore({});
    platform::withKeyOpen(settings_, [&] {
        if (settings_.hasValue(kLast)) {
            current_.restore(settings_.readString(kLast));
            const std::string& name = current_.bookmarkFile();
            // An empty name would derive ".path" in the working folder.
            if (!name.empty() && files_.fileExists(deriveName(name, ".path"))) {
                // Both files are read before the lists change: a failure leaves the catalogue as
                // it was, never the titles of one catalogue beside the paths of another.
                StoredCatalogue stored = loadCataloguePair(files_, deriveName(name, ".title"),
                                                           deriveName(name, ".path"));
                catalogue_.paths.assign(std::move(stored.paths));
                catalogue_.titles.assign(std::move(stored.titles));
            }
        }
        platform::ListControl& titles = catalogue_.titles;
        if (titles.count() == 0) {
            return;
        }
        int index = 0;
        if (settings_.hasValue(kId)) {
            const int stored = settings_.readInteger(kId);
            // A negative index (a hand-edited file) would fail to select: take the first entry.
            if (stored >= 0 && stored < titles.count()) {
                index = stored;
            }
        }
        titles.select(index);
        if (showPage) {
            showPage();
        }
    });
}

void SessionState::save() {
    platform::withKeyOpen(settings_, [&] {
        const int selected = catalogue_.titles.selectedIndex();
        // The entry of an unsaved build would select a wrong entry of the stored catalogue.
        if (selected >= 0 && current_.shownIsStored() &&
            !(settings_.hasValue(kId) && settings_.readInteger(kId) == selected)) {
            settings_.writeInteger(kId, selected);
        }
        const std::string& name = current_.bookmarkFile();
        if (!(settings_.hasValue(kLast) && settings_.readString(kLast) == name)) {
            settings_.writeString(kLast, name);
        }
    });
}

}  // namespace pelmaro
