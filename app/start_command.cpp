#include "app/start_command.h"

#include "app/main_window.h"

namespace pelmaro::app {

std::string AnsweringDialogs::pickFolder(const std::string& instruction) {
    if (folder_) {
        std::string answer = std::move(*folder_);
        folder_.reset();
        return answer;
    }
    return dialogs_.pickFolder(instruction);
}

std::optional<std::string> AnsweringDialogs::openFile(
    const std::string& title, const std::vector<platform::FileFilter>& filters) {
    if (file_) {
        std::optional<std::string> answer = std::move(file_);
        file_.reset();
        return answer;
    }
    return dialogs_.openFile(title, filters);
}

void runStartCommand(TForm1& form, AnsweringDialogs& dialogs, const ReaderArguments& arguments) {
    switch (arguments.action) {
        case ReaderArguments::Action::BuildFolder:
            dialogs.answerFolderPicker(arguments.name);
            form.runHandler([&form] { form.Path1Click(); });
            break;
        case ReaderArguments::Action::OpenCatalogue:
            dialogs.answerOpenDialog(arguments.name);
            form.runHandler([&form] { form.Open1Click(); });
            break;
        default:
            break;
    }
    dialogs.forgetAnswers();
}

}  // namespace pelmaro::app
