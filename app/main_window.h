#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/list_box.h"
#include "app/qt_dialogs.h"
#include "catalogue/catalogue.h"
#include "platform/file_system.h"
#include "platform/settings_store.h"
#include "platform/window.h"

class QAction;
class QSplitter;
class QStackedLayout;
class QWebEngineView;

namespace pelmaro {
class Bookmarks;
class CatalogueBuilder;
class FullTextSearch;
class SessionState;
class TitleSearch;
}  // namespace pelmaro

namespace pelmaro::app {

class WebPageView;

// What the window uses from outside: the program wires the real services, tests their fakes.
struct FormServices {
    platform::Dialogs& dialogs;
    platform::SettingsStore& settings;
    platform::FileSystem& files;
    // Shows the error box; runModally when empty.
    ModalRunner runModal;
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

// One menu command's label as the commands read and set it.
class MenuItemLabel final : public platform::MenuItem {
public:
    MenuItemLabel(MenuCommands& commands, QAction* action) : commands_(commands), action_(action) {}
    std::string label() const override { return MenuCommands::label(action_); }
    void setLabel(const std::string& label) override { commands_.setLabel(action_, label); }

private:
    MenuCommands& commands_;
    QAction* action_;
};

// The main window: the title list, the page view with the bookmark and result lists over it, and
// the nine commands on the menu bar. Its caption doubles as the status line.
class TForm1 final : public QMainWindow, public platform::Window {
    Q_OBJECT

public:
    explicit TForm1(FormServices services, QWidget* parent = nullptr);
    ~TForm1() override;

    // Start-up: the last catalogue, its selected entry and page, then the bookmarks. Runs once,
    // before the window is shown; an error is shown and skips the rest.
    void FormCreate();
    // Shutdown: the settings, then the bookmark file. Runs once, when the window closes.
    void FormDestroy();

    void setStatus(const std::string& caption) override;
    void processPendingMessages() override;
    bool closeRequested() const override { return closeRequested_; }

    // The handlers. Errors leave them; the menu, the lists and the keys run them through
    // runHandler(), which shows the error.
    void Path1Click();
    void Search1Click();
    void NewSearch1Click();
    void Bookmark1Click();
    void AddNewbookmark1Click();
    void DeleteBookmark1Click();
    void Open1Click();
    void Result1Click();
    void Fullsearch1Click();
    // Shows the page of the entry selected in the title list; nothing without a selection.
    void ListBox1Click();
    void ListBox3DblClick();
    void ListBox4DblClick();
    // Tab (with any shift state) addressed to the window itself moves the focus between the title
    // list and the page view.
    void FormKeyDown(int key);

    // Runs a handler; an error it raises is shown in the error box.
    void runHandler(const std::function<void()>& handler);

    QtListControl& titles() { return *listBox1_; }
    QtListControl& paths() { return *listBox2_; }
    QtListControl& bookmarkList() { return *listBox3_; }
    QtListControl& resultList() { return *listBox4_; }
    CurrentCatalogue& currentCatalogue() { return current_; }
    platform::MenuItem& fullSearchCommand() { return *fullSearchLabel_; }
    platform::LongCommandGate& longCommandGate() { return gate_; }
    int FocusState = 1;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildMenu();
    QAction* addCommand(const char* name, const char* label, Qt::Key key,
                        void (TForm1::*handler)());
    void jumpFrom(QtListControl& overlay);
    void showOverlays();
    void showError(const std::string& message);

    FormServices services_;
    QString title_;
    platform::LongCommandGate gate_;
    CurrentCatalogue current_;
    bool closeRequested_ = false;
    bool started_ = false;
    bool shutDown_ = false;

    // The list controls hold the catalogue, the bookmarks and the results; the views show them.
    QtListControl* listBox1_ = nullptr;
    QtListControl* listBox2_ = nullptr;
    QtListControl* listBox3_ = nullptr;
    QtListControl* listBox4_ = nullptr;
    ListBox* titleView_ = nullptr;
    ListBox* bookmarkView_ = nullptr;
    ListBox* resultView_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QWebEngineView* browser_ = nullptr;
    QStackedLayout* pageArea_ = nullptr;

    MenuCommands commands_;
    std::unique_ptr<MenuItemLabel> fullSearchLabel_;
    std::unique_ptr<WebPageView> pageView_;

    std::unique_ptr<CatalogueBuilder> builder_;
    std::unique_ptr<SessionState> session_;
    std::unique_ptr<TitleSearch> titleSearch_;
    std::unique_ptr<FullTextSearch> fullSearch_;
    std::unique_ptr<Bookmarks> bookmarks_;
};

}  // namespace pelmaro::app
