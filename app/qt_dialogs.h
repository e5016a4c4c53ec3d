#pragma once

#include <QString>
#include <functional>

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

    // The window that owns the dialogs; once it is closing, every dialog answers as cancelled.
    void attach(QWidget* owner, const platform::Window* window);

    void showMessage(const std::string& text) override;
    bool askYesNo(const std::string& caption, const std::string& text) override;
    std::string inputBox(const std::string& caption, const std::string& prompt,
                         const std::string& preset) override;
    std::string pickFolder(const std::string& instruction) override;
    std::optional<std::string> openFile(const std::string& title,
                                        const std::vector<platform::FileFilter>& filters) override;

private:
    bool closing() const { return window_ != nullptr && window_->closeRequested(); }

    QString title_;
    ModalRunner run_;
    QWidget* owner_ = nullptr;
    const platform::Window* window_ = nullptr;
    QString lastFileName_;
    QString lastFilter_;
};

// "*.path" when the label is the pattern, "Pages (*.htm)" otherwise. "*.*" matches every file,
// as it does on the system the catalogues come from (on its own it would need a "." in the name).
QString nameFilter(const platform::FileFilter& filter);

}  // namespace pelmaro::app
