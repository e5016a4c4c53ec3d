#include "app/start_command.h"

#include "app/main_window.h"
#include "reader/reader.h"

namespace pelmaro::app {

void runStartCommand(MainWindow& window, const ReaderArguments& arguments) {
    const std::string& name = arguments.name;
    switch (arguments.action) {
        case ReaderArguments::Action::BuildFolder:
            window.run([&window, &name] { window.reader().buildFolder(name); });
            break;
        case ReaderArguments::Action::OpenCatalogue:
            window.run([&window, &name] { window.reader().openCatalogue(name); });
            break;
        default:
            break;
    }
}

}  // namespace pelmaro::app
