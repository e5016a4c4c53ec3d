#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "app/engine_flags.h"  // setEngineSwitches(), which main() calls first
#include "app/page_trees.h"
#include "platform/window.h"

class QWebEngineNewWindowRequest;
class QWebEngineProfile;
class QWebEngineView;

// The embedded browser, which shows pages that someone else wrote and that may be hostile.
//
// What a page can reach:
// - Files: only those of its own folder tree (see page_trees.h): the catalogue's folder for the
//   catalogue's pages, its own folder and below for any other. Links are resolved first, so a
//   link inside the tree that points out of it is outside; the one exception are links into the
//   distribution's shared files (/usr/share), which documentation packages use for their
//   scripts. Whatever is outside is answered like a missing file, without being opened; only
//   regular files are ever opened, without blocking (a FIFO can't hold the reader). The user may
//   open any entry of the catalogue, wherever its file lies.
// - Other trees: none. Each tree is an origin of its own ("pelmaro://tree<N>/<path>"); a request
//   for a tree's file is answered only to the user's own navigation and to that tree's pages
//   (never to another tree, nor to a sandboxed or data: frame).
// - file: URLs: none; a page's link to a file: URL opens it through our scheme, in its own tree.
// - The network: nothing. Web requests are refused, and the engine starts with switches
//   (engine_flags.h) under which WebRTC sends no UDP and no host name or address resolves, so
//   that no socket is opened towards anything and no DNS query leaves. Documents find no
//   RTCPeerConnection (a frame's first, empty document still has one, which gets nowhere); no
//   service workers, DNS prefetch, pings, plugins.
// - Other programs: a web link (http, https, ftp, mailto) goes to the desktop's application only
//   when the user has just clicked that very link, or pressed Enter on it, at most one program a
//   second; a script's navigation, click(), window.open, a redirect, a meta refresh or a form
//   never does. No other scheme ever reaches the desktop. What is dropped is reported by
//   linkBlocked(), except a script's navigation to a scheme the engine doesn't handle itself
//   (mailto:, ftp:, any other), which the engine drops without asking.
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
    void openOutside(const QUrl& url, bool userClicked);
    bool userJustClicked(const QUrl& url);
    void sendProbe();
    void watch();

    QWebEngineView& view_;
    PageTrees trees_;
    std::unique_ptr<QWebEngineProfile> profile_;
    QPointer<ReaderPage> page_;

    // The user's last click or Enter in the view, and the link the engine showed under the
    // pointer or focus then.
    std::optional<Clock::time_point> lastInput_;
    QUrl lastInputLink_;
    QUrl hoveredLink_;
    std::optional<Clock::time_point> lastOpened_;

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
