#include "catalogue/session_state.h"

#include "catalogue/catalogue_files.h"
#include "platform/error.h"
#include "platform/file_names.h"

#include <algorithm>

namespace pelmaro {
namespace {

constexpr const char* kLast = "last";
constexpr const char* kId = "id";

std::string recentValue(std::size_t index) {
    return "recent" + std::to_string(index + 1);
}

}  // namespace

SessionState::SessionState(Catalogue catalogue, CurrentCatalogue& current,
                           platform::SettingsStore& settings, platform::FileSystem& files)
    : catalogue_(catalogue), current_(current), settings_(settings), files_(files) {}

void SessionState::restore(const std::function<void()>& showPage) {
    current_.restore({});
    platform::withKeyOpen(settings_, [&] {
        recent_.clear();
        for (std::size_t i = 0; i < kMostRecent && settings_.hasValue(recentValue(i)); ++i) {
            try {
                std::string name = settings_.readString(recentValue(i));
                if (!name.empty()) {
                    recent_.push_back(std::move(name));
                }
            } catch (const Error&) {
                // A value of another type (a hand-edited file) is no recent catalogue.
            }
            recentStored_ = i + 1;
        }
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
        // Values that held more catalogues than there are now are emptied, not left behind.
        for (std::size_t i = 0; i < std::max(recent_.size(), recentStored_); ++i) {
            settings_.writeString(recentValue(i), i < recent_.size() ? recent_[i] : std::string());
        }
    });
}

void SessionState::rememberCurrent() {
    const std::string& name = current_.bookmarkFile();
    if (name.empty() || !current_.shownIsStored()) {
        return;
    }
    forget(name);
    recent_.insert(recent_.begin(), name);
    if (recent_.size() > kMostRecent) {
        recent_.resize(kMostRecent);
    }
}

void SessionState::forget(const std::string& name) {
    std::erase(recent_, name);
}

}  // namespace pelmaro
