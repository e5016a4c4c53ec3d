#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pelmaro::platform {

// The main window as the commands see it: its caption doubles as the status line, and long
// commands let it handle pending events from inside their loops.
class Window {
public:
    virtual ~Window() = default;

    // Sets the window caption; once a command has used it, it is never set back.
    virtual void setStatus(const std::string& caption) = 0;
    // Handles every event that waits, then returns without waiting for more. Menu commands may
    // run to their end inside this call.
    virtual void processPendingMessages() = 0;
    // True once the user has asked to close the window; long loops stop when they see it.
    virtual bool closeRequested() const = 0;
};

// One filter of the open-file dialog, for example {"*.path", "*.path"}.
struct FileFilter {
    std::string label;
    std::string pattern;
};

// Modal dialogs. Each returns what the user answered; a dialog asked while the program is closing
// answers as if cancelled.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A plain message box titled with the application's name, no icon, one "OK" button.
    virtual void showMessage(const std::string& text) = 0;
    // The question box with the information icon and the buttons "&Yes" and "&No"; closing it
    // without an answer is No.
    virtual bool askYesNo(const std::string& caption, const std::string& text) = 0;
    // An input box with one edit field of at most 255 characters and "OK" / "Cancel";
    // Cancel yields `preset`.
    virtual std::string inputBox(const std::string& caption, const std::string& prompt,
                                 const std::string& preset) = 0;
    // The folder picker with `instruction` above its tree; empty when cancelled.
    virtual std::string pickFolder(const std::string& instruction) = 0;
    // The open-file dialog, starting at the name chosen last with the filter chosen last;
    // nullopt when cancelled.
    virtual std::optional<std::string> openFile(const std::string& title,
                                                const std::vector<FileFilter>& filters) = 0;
};

// The embedded browser.
class PageView {
public:
    virtual ~PageView() = default;
    // Shows the local file `fileName`; fails with an Error when the view refuses it.
    virtual void navigate(const std::string& fileName) = 0;
    // The folder the catalogue was built from (for a stored catalogue, the folder that holds its
    // files), empty when there is none: the pages of the catalogue may read the files below it,
    // and only those. Called whenever the catalogue changes, before its first page is shown.
    virtual void setCatalogueFolder(const std::string& /*folder*/) {}
};

// A menu command's label, read back with its access-key mark ("&Full search").
class MenuItem {
public:
    virtual ~MenuItem() = default;
    virtual std::string label() const = 0;
    virtual void setLabel(const std::string& label) = 0;
};

// Building a catalogue, opening one and the full-text search each change or walk the whole
// catalogue while letting the window handle events. Only one of them runs at a time: the others
// do nothing while one runs (browsing stays possible).
class LongCommandGate {
public:
    bool busy() const { return busy_; }

    // Holds the gate for its lifetime; check busy() before making one.
    class Hold {
    public:
        explicit Hold(LongCommandGate& gate) : gate_(gate) { gate_.busy_ = true; }
        ~Hold() { gate_.busy_ = false; }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        LongCommandGate& gate_;
    };

private:
    bool busy_ = false;
};

}  // namespace pelmaro::platform
