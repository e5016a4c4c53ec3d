#pragma once

#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "platform/file_system.h"
#include "platform/window.h"

namespace pelmaro {

// The Path command (F2): picks a folder, scans it, titles and orders the catalogue, and offers to
// store it as "pelmaropath.title" and "pelmaropath.path" in that folder.
class CatalogueBuilder {
public:
    CatalogueBuilder(Catalogue catalogue, CurrentCatalogue& current, platform::Window& window,
                     platform::Dialogs& dialogs, platform::FileSystem& files,
                     platform::LongCommandGate& gate);

    void Path1Click();

    // The names the last scan collected.
    const std::vector<std::string>& ScannedFiles() const { return scannedFiles_; }

private:
    Catalogue catalogue_;
    CurrentCatalogue& current_;
    platform::Window& window_;
    platform::Dialogs& dialogs_;
    platform::FileSystem& files_;
    platform::LongCommandGate& gate_;
    std::vector<std::string> scannedFiles_;
};

}  // namespace pelmaro
