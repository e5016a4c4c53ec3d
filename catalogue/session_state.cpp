#include "catalogue/session_state.h"

#include "catalogue/catalogue_files.h"
#include "catalogue/strings.h"

namespace pelmaro {
namespace {

constexpr const char* kLast = "last";
constexpr const char* kId = "id";

// Runs `body` with the settings key open and closes it on every path. When `body` fails, that
// failure is the one reported, not a second one from closing.
template <typename Body>
void withKeyOpen(platform::SettingsStore& settings, Body body) {
    try {
        body();
    } catch (...) {
        try {
            settings.closeKey();
        } catch (...) {
        }
        throw;
    }
    settings.closeKey();
}

}  // namespace

SessionState::SessionState(Catalogue catalogue, CurrentCatalogue& current,
                           platform::SettingsStore& settings, platform::Dialogs& dialogs,
                           platform::FileSystem& files, platform::LongCommandGate& gate)
    : catalogue_(catalogue),
      current_(current),
      settings_(settings),
      dialogs_(dialogs),
      files_(files),
      gate_(gate) {}

void SessionState::replaceCatalogue(const std::string& titleFile, const std::string& pathFile) {
    CatalogueLines lines = loadCataloguePair(files_, titleFile, pathFile);
    catalogue_.paths.assign(std::move(lines.paths));
    catalogue_.titles.assign(std::move(lines.titles));
}

void SessionState::restore(const std::function<void()>& showPage) {
    current_.BookmarkFileName.clear();
    if (!settings_.openKey()) {
        return;
    }
    withKeyOpen(settings_, [&] {
        if (settings_.hasValue(kLast)) {
            current_.BookmarkFileName = settings_.readString(kLast);
            const std::string& name = current_.BookmarkFileName;
            // An empty name would derive ".path" in the working folder.
            if (!name.empty() && files_.fileExists(deriveName(name, ".path"))) {
                replaceCatalogue(deriveName(name, ".title"), deriveName(name, ".path"));
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
    if (!settings_.openKey()) {
        return;
    }
    withKeyOpen(settings_, [&] {
        const int selected = catalogue_.titles.selectedIndex();
        // The entry of an unsaved build would select a wrong entry of the stored catalogue.
        if (selected >= 0 && current_.shownIsStored &&
            !(settings_.hasValue(kId) && settings_.readInteger(kId) == selected)) {
            settings_.writeInteger(kId, selected);
        }
        const std::string& name = current_.BookmarkFileName;
        if (!(settings_.hasValue(kLast) && settings_.readString(kLast) == name)) {
            settings_.writeString(kLast, name);
        }
    });
}

void SessionState::Open1Click() {
    if (gate_.busy()) {
        return;
    }
    platform::LongCommandGate::Hold hold(gate_);
    const auto chosen = dialogs_.openFile("select saved path database file",
                                          {{"*.path", "*.path"}, {"*.*", "*.*"}});
    if (!chosen || chosen->empty()) {
        return;
    }
    const std::string titleFile = deriveName(*chosen, ".title");
    if (!files_.fileExists(titleFile)) {
        dialogs_.showMessage("path title lost.can't loading");
        return;
    }
    replaceCatalogue(titleFile, *chosen);
    current_.switchTo(deriveName(*chosen, ".bookmark"));
}

}  // namespace pelmaro
