#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/entry_list.h"
#include "app/qt_dialogs.h"
#include "platform/file_system.h"
#include "platform/settings_store.h"
#include "platform/window.h"

class QAction;
class QCheckBox;
class QLabel;
class QSplitter;
class QStackedLayout;
class QStackedWidget;

namespace pelmaro {
class Reader;
}  // namespace pelmaro

namespace pelmaro::app {

class BlockedCloseFilter;
class BrowserPane;
class DarkMode;
class PagePrinting;
class PageTabs;
class OverlayPane;
class ContentsPanel;
class QuickFindPanel;
class StartPage;

// What the window uses from outside: the program wires the real services, tests their fakes.
struct WindowServices {
    platform::Dialogs& dialogs;
    platform::SettingsStore& settings;
    platform::FileSystem& files;
    // The real dialogs behind `dialogs`, when they are: the window owns them and cancels the one
    // that runs when it closes. Tests that answer from a script leave it empty.
    QtDialogs* modalDialogs = nullptr;
};

// The commands on the menu bar, which keeps their access-key marks placed (see
// window_text::placeAccessKeys).
class MenuCommands {
public:
    void add(QAction* action);
    // Sets one label (with or without a mark) and places the marks of all of them again.
    void setLabel(QAction* action, const std::string& label);
    static std::string label(const QAction* action);

private:
    std::vector<QAction*> actions_;
};

// The main window: the title list, the page view with the bookmark and result lists over it, the
// nine commands on the menu bar, and a status line. The long commands report in its caption. It
// only wires: the reader does the work, and this class keeps the widgets, the keys and the focus.
// Besides the commands it has a browser's keys: back and forward, find in page, zoom.
class MainWindow final : public QMainWindow, public platform::Window, public platform::UiThread {
    Q_OBJECT

public:
    explicit MainWindow(WindowServices services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up: the last catalogue, its entry and page, then the bookmarks; then the zoom and the
    // list's width of the last run. Runs once, before the window is shown; an error is shown and
    // skips the rest of the session's start-up.
    void start();
    // Shutdown: stops long work, stores the session and the bookmarks, then the zoom and the
    // list's width. Runs once.
    void shutdown();

    Reader& reader() { return *reader_; }

    void setCaption(const std::string& caption) override;
    void post(std::function<void()> task) override;

    // Runs a command; an error it raises is shown in the error box.
    void run(const std::function<void()>& command);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class FullSearchLabel;

    void buildControls();
    void buildMenu();
    QAction* addCommand(const char* name, const char* label, Qt::Key key,
                        void (Reader::*command)());
    void buildBrowserKeys();
    // Print, Save as PDF and the dark-mode switch: on keys and in the page's menu.
    void buildPageCommands();
    void addBrowserKey(const char* name, const QList<QKeySequence>& keys,
                       void (BrowserPane::*action)());
    // Ctrl+T, Ctrl+W, Ctrl+Shift+T, Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+1..9.
    void buildTabKeys();
    BrowserPane& browser() const;
    void buildStatusLine();
    // Tab and Shift+Tab: from the list to the page side (the page, or the list lying over it), and
    // from anywhere else back to the list.
    void toggleFocus();
    void showOverlays();
    void showBusy();
    // Quick find over the title list's area, with `text` already typed.
    void openQuickFind(const QString& text);
    // The Contents view in the title list's place (Alt+C), and the title list again (Alt+I).
    void showContents();
    void showTitleList();
    bool contentsShown() const;
    void readHeadingsIntoContents();
    void showRecentCatalogues();
    void showCatalogueStatus();
    void restoreView();
    void storeView();
    // The user closes the window while a box of ours is open: every box is cancelled, and the
    // window closes once their loops have returned.
    void closeOnceBoxesReturn();

    WindowServices services_;
    bool shutDown_ = false;
    bool closePending_ = false;  // a close waits for the boxes' loops to return
    std::unique_ptr<BlockedCloseFilter> blockedClose_;

    // The models hold the catalogue, the bookmarks and the results; the views show them.
    ByteListModel* titles_ = nullptr;
    ByteListModel* paths_ = nullptr;
    ByteListModel* bookmarks_ = nullptr;
    ByteListModel* results_ = nullptr;
    EntryListView* titleView_ = nullptr;
    EntryListView* bookmarkView_ = nullptr;
    EntryListView* resultView_ = nullptr;
    QStackedWidget* titlePane_ = nullptr;  // the title list, quick find over it, or contents
    QuickFindPanel* quickFind_ = nullptr;
    ContentsPanel* contents_ = nullptr;
    StartPage* startPage_ = nullptr;  // over the page when there is no catalogue, or on F1
    bool keysAsked_ = false;
    OverlayPane* bookmarkPane_ = nullptr;
    OverlayPane* resultPane_ = nullptr;
    QCheckBox* bestFirst_ = nullptr;  // the results' order: best first, or the catalogue's
    bool searchShown_ = false;        // whether showBusy() last saw a search running
    QSplitter* splitter_ = nullptr;
    PageTabs* tabs_ = nullptr;
    QStackedLayout* pageArea_ = nullptr;
    QLabel* catalogueStatus_ = nullptr;
    PagePrinting* printing_ = nullptr;
    DarkMode* darkMode_ = nullptr;

    MenuCommands commands_;
    // Commands that can't run while a long one does; F11 stays while it can stop a search.
    std::vector<QAction*> longCommands_;
    QAction* fullSearch_ = nullptr;
    std::unique_ptr<FullSearchLabel> fullSearchLabel_;
    std::unique_ptr<Reader> reader_;
};

}  // namespace pelmaro::app
