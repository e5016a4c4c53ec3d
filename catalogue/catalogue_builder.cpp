#include "catalogue/catalogue_builder.h"

namespace pelmaro {

CatalogueBuilder::CatalogueBuilder(Catalogue catalogue, CurrentCatalogue& current,
                                   platform::Window& window, platform::Dialogs& dialogs,
                                   platform::FileSystem& files, platform::LongCommandGate& gate)
    : catalogue_(catalogue),
      current_(current),
      window_(window),
      dialogs_(dialogs),
      files_(files),
      gate_(gate) {}

void CatalogueBuilder::Path1Click() {}

}  // namespace pelmaro
