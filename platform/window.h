#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pelmaro::platform {

// The main window as the logic sees it: its caption doubles as the status line of the long
// commands.
class Window {
public:
    virtual ~Window() = default;

    // Sets the window caption; once a command has used it, it is never set back.
    virtual void setCaption(const std::string& caption) = 0;
};

// The window's thread, which alone may touch the window, its lists and its dialogs. Work done on
// other threads hands its results over through post().
class UiThread {
public:
    virtual ~UiThread() = default;

    // Runs `task` on the window's thread soon, after the tasks posted before it. Safe to call from
    // any thread. Tasks still waiting when the window goes are dropped.
    virtual void post(std::function<void()> task) = 0;
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

    // The error box: titled with the application's name, the error icon, one OK button. A "." is
    // appended when the message ends in a byte above ".".
    virtual void showError(const std::string& message) = 0;
    // A plain message box titled with the application's name, no icon, one "OK" button.
    virtual void showMessage(const std::string& text) = 0;
    // The question box with the information icon and the buttons "&Yes" and "&No"; closing it
    // without an answer is No.
    virtual bool askYesNo(const std::string& caption, const std::string& text) = 0;
    // An input box with one edit field of at most 255 characters and "OK" / "Cancel";
    // Cancel yields `preset`.
    virtual std::string inputBox(const std::string& caption, const std::string& prompt,
                                 const std::string& preset) = 0;
    // The folder picker with `instruction` above its tree, starting in `startFolder` when it is
    // not empty; empty when cancelled.
    virtual std::string pickFolder(const std::string& instruction,
                                   const std::string& startFolder) = 0;
    // The open-file dialog, starting at the name chosen last with the filter chosen last (or in
    // `startFolder` the first time), with `places` (those that exist) among the folders it
    // offers to go to; nullopt when cancelled.
    virtual std::optional<std::string> openFile(const std::string& title,
                                                const std::vector<FileFilter>& filters,
                                                const std::string& startFolder,
                                                const std::vector<std::string>& places) = 0;
    // The save-file dialog, starting at `suggestedName` (a full name, or a bare one in the home
    // folder); the user confirms replacing a file that exists. nullopt when cancelled.
    virtual std::optional<std::string> saveFile(const std::string& title,
                                                const std::vector<FileFilter>& filters,
                                                const std::string& suggestedName) = 0;
};

// The embedded browser.
class PageView {
public:
    virtual ~PageView() = default;
    // Shows the local file `fileName`; fails with an Error when the view refuses it.
    virtual void navigate(const std::string& fileName) = 0;
    // Shows it as navigate() does and, once it has loaded, finds `text` in it and highlights it
    // (the page of a full-text search's hit). A view that can't search a page only shows it.
    virtual void navigateAndFind(const std::string& fileName, const std::string& text) {
        (void)text;
        navigate(fileName);
    }
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

}  // namespace pelmaro::platform
