#include "app/page_view.h"

#include <unistd.h>

#include <QDesktopServices>
#include <QFile>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>
#include <cerrno>

#include "app/window_text.h"
#include "catalogue/page_types.h"
#include "platform/error.h"
#include "platform/file_system.h"

namespace pelmaro::app {

namespace {

constexpr char kPageHost[] = "local";

bool isWebLink(const QUrl& url) {
    const QString scheme = url.scheme();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
           scheme == QLatin1String("mailto") || scheme == QLatin1String("ftp");
}

// Answers the view's requests for pelmaro: URLs with the bytes of the file they name.
class PageSchemeHandler final : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    void requestStarted(QWebEngineUrlRequestJob* job) override {
        const std::optional<std::string> fileName = pageFile(job->requestUrl());
        if (!fileName) {
            job->fail(QWebEngineUrlRequestJob::UrlInvalid);
            return;
        }
        // Opened by bytes rather than by QString so that names that are not UTF-8 open too; a
        // FIFO never hangs the window.
        std::int64_t size = 0;
        const int fd = platform::openRegularFile(*fileName, size);
        if (fd < 0) {
            const bool missing =
                errno == ENOENT || errno == ENOTDIR || errno == EISDIR || errno == EINVAL;
            job->fail(missing           ? QWebEngineUrlRequestJob::UrlNotFound
                      : errno == EACCES ? QWebEngineUrlRequestJob::RequestDenied
                                        : QWebEngineUrlRequestJob::RequestFailed);
            return;
        }
        auto* file = new QFile;
        if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            delete file;
            job->fail(QWebEngineUrlRequestJob::RequestFailed);
            return;
        }
        // The engine reads the file on its own thread until the job goes away.
        connect(job, &QObject::destroyed, file, &QObject::deleteLater);
        job->reply(QByteArray(mimeTypeFor(*fileName)), file);
    }
};

// Keeps pages off the network: whatever a page asks of it is refused.
class NetworkBlocker final : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QString scheme = info.requestUrl().scheme();
        if (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
            scheme == QLatin1String("ftp") || scheme == QLatin1String("ws") ||
            scheme == QLatin1String("wss")) {
            info.block(true);
        }
    }
};

}  // namespace

void registerPageScheme() {
    QWebEngineUrlScheme scheme(kPageScheme);
    // A host part makes relative links resolve as they do on any web site.
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setDefaultPort(QWebEngineUrlScheme::PortUnspecified);
    // CorsEnabled lets a page's scripts fetch files beside it (search indexes and the like);
    // LocalAccessAllowed lets pages that name their images by file: URLs show them.
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalScheme |
                    QWebEngineUrlScheme::LocalAccessAllowed | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
}

QUrl pageUrl(const std::string& fileName) {
    const QByteArray path =
        QByteArray(fileName.data(), static_cast<qsizetype>(fileName.size())).toPercentEncoding("/");
    return QUrl::fromEncoded(QByteArray(kPageScheme) + "://" + kPageHost + path, QUrl::StrictMode);
}

std::optional<std::string> pageFile(const QUrl& url) {
    if (url.scheme() != QLatin1String(kPageScheme) || url.host() != QLatin1String(kPageHost)) {
        return std::nullopt;
    }
    const QByteArray path =
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (path.isEmpty()) {
        return std::nullopt;
    }
    return path.toStdString();
}

ReaderPage::ReaderPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent) {
    connect(this, &QWebEnginePage::newWindowRequested, this,
            [this](QWebEngineNewWindowRequest& request) {
                openLinkInNewWindow(request.requestedUrl());
            });
}

bool ReaderPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    const QString scheme = url.scheme();
    if (scheme == QLatin1String(kPageScheme) || scheme == QLatin1String("about") ||
        scheme == QLatin1String("data") || scheme == QLatin1String("blob")) {
        return true;
    }
    if (scheme == QLatin1String("file") && isMainFrame) {
        // A page that links to its neighbours by file: URLs.
        QUrl local = pageUrl(QFile::encodeName(url.toLocalFile()).toStdString());
        local.setFragment(url.fragment());
        setUrl(local);
        return false;
    }
    if (type == NavigationTypeLinkClicked && isWebLink(url)) {
        QDesktopServices::openUrl(url);
    }
    return false;
}

void ReaderPage::openLinkInNewWindow(const QUrl& url) {
    // The reader has one window: local pages open in it, web links outside, as any click does.
    if (url.scheme() == QLatin1String(kPageScheme) || url.scheme() == QLatin1String("file")) {
        if (acceptNavigationRequest(url, NavigationTypeLinkClicked, true)) {
            setUrl(url);
        }
    } else if (isWebLink(url)) {
        QDesktopServices::openUrl(url);
    }
}

WebPageView::WebPageView(QWebEngineView& view) : profile_(std::make_unique<QWebEngineProfile>()) {
    // A profile without a storage name is off the record: no cache or cookies on the disk.
    profile_->installUrlSchemeHandler(kPageScheme, new PageSchemeHandler(profile_.get()));
    profile_->setUrlRequestInterceptor(new NetworkBlocker(profile_.get()));
    QWebEngineSettings* settings = profile_->settings();
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    // Showing a page must not take the keyboard from the title list: arrows go on browsing.
    settings->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    page_ = new ReaderPage(profile_.get(), &view);
    view.setPage(page_);
}

WebPageView::~WebPageView() {
    // The page must go before its profile.
    delete page_.data();
}

void WebPageView::navigate(const std::string& fileName) {
    if (fileName.empty() || fileName.front() != '/') {
        throw Error("Cannot show \"" + fileName + "\". It is not a full file name");
    }
    page_->setUrl(pageUrl(fileName));
}

}  // namespace pelmaro::app
