#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/reader_arguments.h"
#include "platform/window.h"

namespace pelmaro::app {

class TForm1;

// The window's dialogs, except that the next folder picker or open dialog can be answered in
// advance: that is how a name from the command line reaches the Path and Open commands, which
// then run exactly as from their keys (the save question included).
class AnsweringDialogs final : public platform::Dialogs {
public:
    explicit AnsweringDialogs(platform::Dialogs& dialogs) : dialogs_(dialogs) {}

    // The next pickFolder() or openFile() returns `name` without asking; the one after asks.
    void answerFolderPicker(std::string name) { folder_ = std::move(name); }
    void answerOpenDialog(std::string name) { file_ = std::move(name); }
    // Forgets an answer that no dialog took.
    void forgetAnswers() {
        folder_.reset();
        file_.reset();
    }

    void showMessage(const std::string& text) override { dialogs_.showMessage(text); }
    bool askYesNo(const std::string& caption, const std::string& text) override {
        return dialogs_.askYesNo(caption, text);
    }
    std::string inputBox(const std::string& caption, const std::string& prompt,
                         const std::string& preset) override {
        return dialogs_.inputBox(caption, prompt, preset);
    }
    std::string pickFolder(const std::string& instruction) override;
    std::optional<std::string> openFile(const std::string& title,
                                        const std::vector<platform::FileFilter>& filters) override;

private:
    platform::Dialogs& dialogs_;
    std::optional<std::string> folder_;
    std::optional<std::string> file_;
};

// Runs what the reader was started for: Path (F2) on the folder or Open (F9) on the catalogue,
// through `dialogs` (the window's) answered with the name, errors shown in the error box as the
// keys show them. Nothing for Action::Start.
void runStartCommand(TForm1& form, AnsweringDialogs& dialogs, const ReaderArguments& arguments);

}  // namespace pelmaro::app
