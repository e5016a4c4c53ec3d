#pragma once

#include <QStringList>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/window.h"

class QAction;
class QTimer;
class QWebEngineView;

namespace pelmaro::app {

class FindBar;
class WebPageView;

// The page side of the window: the web view, the find bar under it, and what a browser does
// around a page: back and forward, zoom (Ctrl+wheel included), and telling where the page went
// and where a hovered link leads. The reader shows its pages through it.
class BrowserPane final : public QWidget, public platform::PageView {
    Q_OBJECT

public:
    explicit BrowserPane(QWidget* parent = nullptr);
    ~BrowserPane() override;

    QWebEngineView& view() const { return *view_; }

    void navigate(const std::string& fileName) override;
    // The text is found once the page has loaded, in the find bar, so that Enter goes on to the
    // next match.
    void navigateAndFind(const std::string& fileName, const std::string& text) override;
    void setCatalogueFolder(const std::string& folder) override;

    // The page's headings (h1 to h3) as they read, in page order, handed to `found`.
    void readHeadings(std::function<void(const QStringList&)> found);
    void scrollToHeading(int heading);

    void goBack();
    void goForward();
    void openFindBar();

    int zoomPercent() const { return zoomPercent_; }
    void setZoomPercent(int percent);
    void zoomIn();
    void zoomOut();
    void resetZoom();

    // The view, or one of the engine's widgets inside it, which come and go with its pages.
    bool holds(const QObject* object) const;

    // The file of the document loaded last; nullopt before the first, or for another address.
    std::optional<std::string> shownFile() const;
    // How far down the page is scrolled, in the page's pixels, as the page told last: it is asked
    // when the engine reports a scroll and every half second while the pane is shown.
    int scrollY() const { return scrollY_; }
    // Shows the file, scrolled down that far once it has loaded (a tab that comes back).
    void navigateAndScroll(const std::string& fileName, int scrollY);

    // Commands of the window's that the page's menu offers after the engine's own (print, ...).
    void setPageCommands(QList<QAction*> commands) { pageCommands_ = std::move(commands); }

signals:
    // The view has loaded this local file as its document: a link followed, back, forward, or a
    // page asked for through navigate(); never an address a page's script wrote into the history.
    void fileShown(const std::string& fileName);
    // The view's address moved away from the document it loaded last (another load begins, a
    // load failed, or a page rewrote its address).
    void documentLeft();
    // Where the link under the mouse leads, as the user reads it; empty when it has left it.
    void linkHovered(const QString& target);
    // A link the page wanted to leave the reader by, which was not followed.
    void linkBlocked(const QString& url);
    // The user opened a link of the page in a new tab (see WebPageView::newTabRequested).
    void newTabRequested(const std::string& fileName);
    // The page's title changed (as the page wrote it).
    void titleChanged(const QString& title);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Connects to the view's page: the first one, and each fresh one that replaces a page that
    // hung.
    void attachPage();
    void pageLoaded(bool ok);
    // Tells that no link is hovered any more, when one was.
    void forgetHoveredLink();
    // The engine's menu for the page, without the entries that would do nothing here.
    void showContextMenu(const QPoint& position);
    void zoomBy(bool larger);
    void askScrollPosition();

    QWebEngineView* view_ = nullptr;
    FindBar* findBar_ = nullptr;
    std::unique_ptr<WebPageView> pages_;
    int zoomPercent_ = 100;
    int wheelRemainder_ = 0;
    // A page asked for with a text to find in it once it has loaded.
    struct PendingFind {
        std::string fileName;
        QString text;
    };
    std::optional<PendingFind> pendingFind_;
    struct PendingScroll {
        std::string fileName;
        int y = 0;
    };
    std::optional<PendingScroll> pendingScroll_;
    QUrl loaded_;  // the document loaded last
    bool hoveringLink_ = false;
    QList<QAction*> pageCommands_;
    int scrollY_ = 0;
    QTimer* scrollWatch_ = nullptr;
};

// Where a link leads, as the status line shows it: the file of a page of ours
// ("/home/me/help/a b.htm#part"), any other address as it is.
QString linkTarget(const QString& url);

}  // namespace pelmaro::app
