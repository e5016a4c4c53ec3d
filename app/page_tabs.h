#pragma once

#include <QString>
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "platform/window.h"
#include "reader/open_tabs.h"

class QAction;
class QStackedWidget;
class QTabBar;

namespace pelmaro::app {

class BrowserPane;

// The page side of the window as tabs, each a BrowserPane with its own history, zoom and find
// bar (and its own pages' protections: a page can reach no other tab). One tab looks like a
// window without tabs: the tab bar shows from the second on. The reader shows its pages in the
// current tab; what the tabs report is the current tab's.
class PageTabs final : public QWidget, public platform::PageView {
    Q_OBJECT

public:
    explicit PageTabs(QWidget* parent = nullptr);
    ~PageTabs() override;

    BrowserPane& current() const;
    BrowserPane& at(int index) const { return *tabs_[static_cast<std::size_t>(index)].pane; }
    int count() const { return static_cast<int>(tabs_.size()); }
    int currentIndex() const;

    void navigate(const std::string& fileName) override;
    void navigateAndFind(const std::string& fileName, const std::string& text) override;
    // Every tab's, and the tabs opened later.
    void setCatalogueFolder(const std::string& folder) override;

    // An empty tab after the current one, made current: the reader then shows a page in it.
    void openTab();
    // Closes the current tab, never the last; it can be opened again with reopenClosed().
    void closeCurrent();
    // The tab closed last, with its page and scroll position, after the current one.
    void reopenClosed();
    void selectNext();
    void selectPrevious();
    void select(int index);

    // Commands of the window's that every tab's page menu offers (see BrowserPane).
    void setPageCommands(const QList<QAction*>& commands);

    // One of the tabs' views, or a widget of the engine's inside one.
    bool holds(const QObject* object) const;

    // The tabs to keep: each one's page and scroll position, and the current one (empty tabs
    // left out).
    OpenTabs state() const;
    // The tabs of the last run, in place of the tabs there are: the current one shows its page
    // now, the others only once they are chosen.
    void restore(const OpenTabs& open);

signals:
    // What the current tab's pane reports (see BrowserPane).
    void fileShown(const std::string& fileName);
    void documentLeft();
    void linkHovered(const QString& target);
    // From any tab.
    void linkBlocked(const QString& url);
    // Another tab is current, or the current one went.
    void currentChanged();

private:
    struct Tab {
        BrowserPane* pane = nullptr;
        // A tab of the last run that has not been shown yet: it loads once chosen.
        std::optional<OpenTab> waiting;
    };

    BrowserPane* addPane(int index);
    int indexOf(const BrowserPane* pane) const;
    // A tab's state: its page and scroll position; nullopt for an empty tab.
    std::optional<OpenTab> stateOf(const Tab& tab) const;
    void showCurrent();
    void setTitle(const BrowserPane* pane, const QString& title);
    // Opens a link of a tab's page in a tab after that one, without leaving the current tab.
    void openLink(const BrowserPane* from, const std::string& fileName);

    QTabBar* bar_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    std::vector<Tab> tabs_;
    std::vector<OpenTab> closed_;
    std::string folder_;
    QList<QAction*> pageCommands_;
};

}  // namespace pelmaro::app
