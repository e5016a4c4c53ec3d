#pragma once

#include <QDateTime>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/engine_flags.h"  // setEngineSwitches(), which main() calls first
#include "browsing/page_trees.h"
#include "platform/window.h"

class QWebEngineNewWindowRequest;
class QWebEngineProfile;
class QWebEngineView;

// The embedded browser, which shows pages that someone else wrote and that may be hostile.
//
// What a page can reach:
// - Files: only those of its own tree (see browsing/page_trees.h): the catalogue's folder, with
//   links resolved and the system folders a build may enter through links, for the catalogue's
//   pages; nothing but its own file for any other entry. Whatever is outside is answered like a
//   missing file, without being opened; only regular files are ever opened, without blocking (a
//   FIFO can't hold the reader). The user may open any entry of the catalogue, wherever its
//   file lies.
// - Other trees: none. Each tree is an origin of its own ("pelmaro://tree<N>/<path>",
//   "pelmaro://file<N>/<path>"). Only the reader chooses a tree: it grants the URLs it shows
//   (and those its history holds), and a request that no page made is answered only for a
//   granted URL; a request a page made is answered only when that page is of the same tree
//   (never for another tree, nor for a sandboxed or data: frame). A page's wish to open a page
//   of ours in a new window is carried out by the page itself, so that the engine judges it by
//   the page that asked, not by whatever the view is about to show.
// - file: URLs: none; a page's link to a file: URL opens it through our scheme, in its own tree.
// - The network: nothing. Web requests are refused, and the engine starts with switches
//   (engine_flags.h) under which WebRTC sends no UDP and no host name or address resolves, so
//   that no socket is opened towards anything and no DNS query leaves. Documents find no
//   RTCPeerConnection (a frame's first, empty document still has one, which gets nowhere); no
//   service workers, DNS prefetch, pings, plugins.
// - Other programs: a web link (http, https, ftp, mailto) goes to the desktop's application only
//   when the user has just clicked that very link with the primary button (the link under the
//   pointer at the press and at the release, as the page itself finds it) or pressed Enter on
//   the link that has the focus; at most one program a second. A script's navigation, click(),
//   window.open, a redirect, a meta refresh, a form, another button or a drag never does, and a
//   mail link keeps only its recipients, subject and text (browsing/outside_links.h). No other
//   scheme ever reaches the desktop. What is dropped is reported by linkBlocked(), except a
//   script's navigation to a scheme the engine doesn't handle itself (mailto:, ftp:, any other),
//   which the engine drops without asking.
// - Other tabs: each tab is a view of its own, on a profile of its own; a page can't open, close
//   or script one. A new tab opens for a link only on a middle click or Ctrl+click on that very
//   link (pressed and released on it, as for a launch), and only for a file of the page's own
//   tree; the reader shows it in a tree it chooses (newTabRequested()).
// - The window: JavaScript dialogs are never shown. A page whose renderer stops answering while
//   the user picks another title is thrown away for a fresh one, so that every later title shows.
namespace pelmaro::app {

inline constexpr char kPageScheme[] = "pelmaro";

// Registers the scheme; must run before the QApplication is created.
void registerPageScheme();

// The URL of the file in the tree with that id: "/home/me/a b.htm" in tree1 ->
// "pelmaro://tree1/home/me/a%20b.htm". Every byte outside the unreserved set is percent-encoded,
// so names that are not UTF-8 survive the trip.
QUrl pageUrl(const QString& tree, const std::string& fileName);
// The file a page URL names, or nullopt when it is not one of ours.
std::optional<std::string> pageFile(const QUrl& url);

class WebPageView;

// A page of the view; WebPageView decides what it may do.
class ReaderPage final : public QWebEnginePage {
    Q_OBJECT

public:
    ReaderPage(QWebEngineProfile* profile, WebPageView& owner, QObject* parent);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    // Never shown. A page's wish to hold the user on it (beforeunload) is not granted.
    void javaScriptAlert(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg,
                          const QString& defaultValue, QString* result) override;

private:
    WebPageView& owner_;
};

// The embedded browser as the commands see it: a QWebEngineView on a private, off-the-record
// profile that serves local files itself.
class WebPageView final : public QObject, public platform::PageView {
    Q_OBJECT

public:
    explicit WebPageView(QWebEngineView& view);
    ~WebPageView() override;
    WebPageView(const WebPageView&) = delete;
    WebPageView& operator=(const WebPageView&) = delete;

    // Shows a file the user picked. Fails when `fileName` is not a full ("/"-rooted) name, which
    // no page can be loaded from.
    void navigate(const std::string& fileName) override;
    // The folder whose tree the catalogue's pages read from; empty when there is no catalogue.
    // Pages shown before keep the tree they were shown in.
    void setCatalogueFolder(const std::string& folder) override;

    // How long a user's click or key press lets the page hand the link to the desktop.
    static constexpr std::chrono::milliseconds kUserInputLasts{1000};
    // How long the renderer may leave a probe unanswered while the title the user picked waits
    // for its document: then the page is thrown away for a fresh one.
    static constexpr std::chrono::milliseconds kHangAfter{800};

signals:
    // A link or navigation the page wanted to leave the reader by and that was dropped (its URL,
    // for the status line).
    void linkBlocked(const QString& url);
    // The view shows a fresh page in place of one that hung; what was connected to the old one
    // must be connected to view.page() again.
    void pageReplaced();
    // The user opened a link of the shown page's own tree in a new tab: a middle click or a
    // Ctrl+click on that very link (the link under the pointer at the press and at the release,
    // as for a launch). The file it names; the reader shows it in a tree it chooses.
    void newTabRequested(const std::string& fileName);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class ReaderPage;
    using Clock = std::chrono::steady_clock;

    ReaderPage* createPage();
    void replacePage();
    bool acceptNavigation(ReaderPage& page, const QUrl& url, QWebEnginePage::NavigationType type,
                          bool isMainFrame);
    void openNewWindow(ReaderPage& page, QWebEngineNewWindowRequest& request);
    // Has the page follow a link of ours that it asked to open in a new window, in its own tree.
    void followInPage(ReaderPage& page, const QUrl& url);
    void grantHistory(ReaderPage& page);
    void openOutside(const QUrl& url, bool userClicked);
    // The link the page has under the pointer (or in focus, for `focused`), handed to `found` as
    // the page resolves it ("" for none).
    void askLinkAt(QPoint point, bool focused, std::function<void(const QString&)> found);
    void launchIfClicked();
    // A link the user clicked to open in a new tab: asked for when it is a file of the shown
    // page's tree (a page link of another tree, or to a file outside, opens nothing).
    void openInNewTab(const QUrl& link);
    void sendProbe();
    void watch();

    QWebEngineView& view_;
    browsing::PageTrees trees_;
    // The page URLs (without fragment) that the reader showed or that its history holds: the only
    // ones answered to a request no page made.
    QSet<QUrl> granted_;
    std::unique_ptr<QWebEngineProfile> profile_;
    QPointer<ReaderPage> page_;

    // The user's clicks and Enters in the view, each with a number of its own; the link pressed
    // on, and the link the user last clicked or pressed Enter on, with when.
    unsigned input_ = 0;
    QPoint pressedAt_;
    Qt::MouseButton pressedButton_ = Qt::NoButton;
    bool pressedForTab_ = false;          // a middle press, or Ctrl with the primary button
    std::optional<QString> pressedLink_;  // set once the page has answered for the press
    struct Choice {
        QUrl url;
        Clock::time_point at;
    };
    std::optional<Choice> clicked_;
    // A web link the page followed after a click, waiting to be matched with the link clicked.
    std::optional<Choice> launchAsked_;
    std::optional<Clock::time_point> lastOpened_;
    QTimer launchExpiry_;

    // The watch over the title the user picked last: a probe script the renderer must answer.
    QTimer watchdog_;
    QUrl wanted_;
    Clock::time_point wantedSince_;
    QDateTime wantedAt_;
    unsigned serial_ = 0;
    unsigned replacedFor_ = 0;
    unsigned probe_ = 0;
    bool probeOutstanding_ = false;
    Clock::time_point probeSent_;
};

}  // namespace pelmaro::app
