#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "platform/window.h"

class QDialog;
class QWidget;

namespace pelmaro::app {

// Runs a dialog that is ready to be shown and returns its result code. The program runs them
// modally; tests answer them without blocking.
using ModalRunner = std::function<int(QDialog&)>;
int runModally(QDialog& dialog);

// The dialogs of the platform layer on Qt widgets. Texts are bytes, shown as UTF-8; file names
// pass through QFile::encodeName/decodeName.
class QtDialogs final : public platform::Dialogs {
public:
    explicit QtDialogs(QString applicationTitle, ModalRunner run = runModally);

    // The window that owns the dialogs.
    void attach(QWidget* owner);
    // The window is closing: every dialog that runs is cancelled (a question answers No), and
    // every later one answers as cancelled at once.
    void closeAll();
    // A dialog of ours is open.
    bool running() const { return !running_.empty(); }

    void showError(const std::string& message) override;
    void showMessage(const std::string& text) override;
    bool askYesNo(const std::string& caption, const std::string& text) override;
    std::string inputBox(const std::string& caption, const std::string& prompt,
                         const std::string& preset) override;
    std::string pickFolder(const std::string& instruction, const std::string& startFolder) override;
    std::optional<std::string> openFile(const std::string& title,
                                        const std::vector<platform::FileFilter>& filters,
                                        const std::string& startFolder,
                                        const std::vector<std::string>& places) override;
    std::optional<std::string> saveFile(const std::string& title,
                                        const std::vector<platform::FileFilter>& filters,
                                        const std::string& suggestedName) override;
    // Runs a dialog of the toolkit's own (the print dialog) as one of ours: cancelled when the
    // window closes. Its result code; Rejected at once while the window is closing.
    int runDialog(QDialog& dialog);

private:
    int run(QDialog& dialog);

    QString title_;
    ModalRunner run_;
    QWidget* owner_ = nullptr;
    // The dialogs that run, the innermost last: one opened from a task that ran inside another
    // one's loop lies over it.
    std::vector<QDialog*> running_;
    bool closing_ = false;
    QString lastFileName_;
    QString lastFilter_;
};

// "label (patterns)": {"*.path", "*.path"} gives "*.path (*.path)". The open dialog shows the
// labels alone. "*.*" matches every file, as it does on the system the catalogues come from (on
// its own it would need a "." in the name): {"*.*", "*.*"} gives "*.* (*)", shown as "*.*".
QString nameFilter(const platform::FileFilter& filter);

}  // namespace pelmaro::app
