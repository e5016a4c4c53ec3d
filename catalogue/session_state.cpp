#include "catalogue/session_state.h"

namespace pelmaro {

SessionState::SessionState(Catalogue catalogue, CurrentCatalogue& current,
                           platform::SettingsStore& settings, platform::Dialogs& dialogs,
                           platform::FileSystem& files, platform::LongCommandGate& gate)
    : catalogue_(catalogue),
      current_(current),
      settings_(settings),
      dialogs_(dialogs),
      files_(files),
      gate_(gate) {}

void SessionState::restore(const std::function<void()>&) {}
void SessionState::save() {}
void SessionState::Open1Click() {}

}  // namespace pelmaro
