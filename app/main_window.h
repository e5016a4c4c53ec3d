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
class QSplitter;
class QStackedLayout;
class QStackedWidget;
class QWebEngineView;

namespace pelmaro {
class Reader;
}  // namespace pelmaro

namespace pelmaro::app {

class OverlayPane;
class QuickFindPanel;
class WebPageView;

// What the window uses from outside: the program wires the real services, tests their fakes.
struct WindowServices {
    platform::Dialogs& dialogs;
    platform::SettingsStore& settings;
    platform::FileSystem& files;
    // The real dialogs behind `dialogs`, when they are: the window owns them and cancels the one
    // that runs when it closes. Tests that answer from a script leave it empty.
    QtDialogs* modalDialogs = nullptr;
};

// The commands on the menu bar, which keeps their access-key marks placed (see placeAccessKeys).
class MenuCommands {
public:
    void add(QAction* action);
    // Sets one label (with or without a mark) and places the marks of all of them again.
    void setLabel(QAction* action, const std::string& label);
    static std::string label(const QAction* action);

private:
    std::vector<QAction*> actions_;
};

// The main window: the title list, the page view with the bookmark and result lists over it, and
// the nine commands on the menu bar. Its caption doubles as the status line. It only wires: the
// reader does the work, and this class keeps the widgets, the keys and the focus.
class MainWindow final : public QMainWindow, public platform::Window, public platform::UiThread {
    Q_OBJECT

public:
    explicit MainWindow(WindowServices services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up: the last catalogue, its entry and page, then the bookmarks. Runs once, before the
    // window is shown; an error is shown and skips the rest.
    void start();
    // Shutdown: stops long work, stores the session and the bookmarks. Runs once.
    void shutdown();

    Reader& reader() { return *reader_; }

    void setCaption(const std::string& caption) override;
    void post(std::function<void()> task) override;

    // Runs a command; an error it raises is shown in the error box.
    void run(const std::function<void()>& command);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class FullSearchLabel;

    void buildControls();
    void buildMenu();
    QAction* addCommand(const char* name, const char* label, Qt::Key key,
                        void (Reader::*command)());
    void toggleFocus();
    void showOverlays();
    void showBusy();
    // Quick find over the title list's area, with `text` already typed.
    void openQuickFind(const QString& text);

    WindowServices services_;
    bool shutDown_ = false;
    bool closeWanted_ = false;
    bool focusOnList_ = true;  // where Tab moves the focus next: the list, else the page

    // The models hold the catalogue, the bookmarks and the results; the views show them.
    ByteListModel* titles_ = nullptr;
    ByteListModel* paths_ = nullptr;
    ByteListModel* bookmarks_ = nullptr;
    ByteListModel* results_ = nullptr;
    EntryListView* titleView_ = nullptr;
    EntryListView* bookmarkView_ = nullptr;
    EntryListView* resultView_ = nullptr;
    QStackedWidget* titlePane_ = nullptr;  // the title list, or quick find over it
    QuickFindPanel* quickFind_ = nullptr;
    OverlayPane* bookmarkPane_ = nullptr;
    OverlayPane* resultPane_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QWebEngineView* browser_ = nullptr;
    QStackedLayout* pageArea_ = nullptr;

    MenuCommands commands_;
    // Commands that can't run while a long one does; F11 stays, since it stops a search.
    std::vector<QAction*> longCommands_;
    std::unique_ptr<FullSearchLabel> fullSearchLabel_;
    std::unique_ptr<WebPageView> pageView_;
    std::unique_ptr<Reader> reader_;
};

}  // namespace pelmaro::app
