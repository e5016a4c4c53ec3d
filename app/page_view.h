#pragma once

#include <QPointer>
#include <QUrl>
#include <QWebEnginePage>
#include <memory>
#include <optional>
#include <string>

#include "platform/window.h"

class QWebEngineProfile;
class QWebEngineView;

namespace pelmaro::app {

// Local files reach the page view through a scheme of our own, "pelmaro://local/<path>", so that
// every page type shows as its type (the engine would download ".asp" and show ".cgi" as source
// if it read them as file: URLs) and nothing else on the disk is reachable by default.
inline constexpr char kPageScheme[] = "pelmaro";

// Registers the scheme; must run before the QApplication is created.
void registerPageScheme();

// "/home/me/a b.htm" -> "pelmaro://local/home/me/a%20b.htm". Every byte outside the unreserved
// set is percent-encoded, so names that are not UTF-8 survive the trip.
QUrl pageUrl(const std::string& fileName);
// The file a page URL names, or nullopt when it is not one of ours.
std::optional<std::string> pageFile(const QUrl& url);

// The page of the view: local pages open in it, web and mail links open in the desktop's default
// application, anything else stays where it is.
class ReaderPage final : public QWebEnginePage {
    Q_OBJECT

public:
    ReaderPage(QWebEngineProfile* profile, QObject* parent);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;

private:
    void openLinkInNewWindow(const QUrl& url);
};

// The embedded browser as the commands see it: a QWebEngineView on a private, off-the-record
// profile that serves local files itself and never loads anything from the network.
class WebPageView final : public platform::PageView {
public:
    explicit WebPageView(QWebEngineView& view);
    ~WebPageView() override;
    WebPageView(const WebPageView&) = delete;
    WebPageView& operator=(const WebPageView&) = delete;

    // Fails when `fileName` is not a full ("/"-rooted) name, which no page can be loaded from.
    void navigate(const std::string& fileName) override;

private:
    std::unique_ptr<QWebEngineProfile> profile_;
    QPointer<ReaderPage> page_;
};

}  // namespace pelmaro::app
