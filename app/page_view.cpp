#include "app/page_view.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineHistory>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineRegisterProtocolHandlerRequest>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>
#include <algorithm>
#include <cerrno>
#include <optional>

#include "app/engine_flags.h"
#include "browsing/outside_links.h"
#include "browsing/served_types.h"
#include "page/text_encoding.h"
#include "platform/error.h"
#include "platform/file_system.h"

namespace pelmaro::app {

namespace {

bool isWebLink(const QUrl& url) {
    const QString scheme = url.scheme();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
           scheme == QLatin1String("mailto") || scheme == QLatin1String("ftp");
}

bool isPageUrl(const QUrl& url) {
    return url.scheme() == QLatin1String(kPageScheme);
}

// How the engine learns why a page file could not be opened, from the system's reason.
QWebEngineUrlRequestJob::Error failureFor(int systemError) {
    switch (systemError) {
        case ENOENT:
        case ENOTDIR:
        case EISDIR:
        case EINVAL:
            return QWebEngineUrlRequestJob::UrlNotFound;
        case EACCES:
            return QWebEngineUrlRequestJob::RequestDenied;
        default:
            return QWebEngineUrlRequestJob::RequestFailed;
    }
}

// What the engine asks before a page that wants to hold the user on it (beforeunload) is left.
QString leaveQuestion() {
    return QCoreApplication::translate(
        "QWebEnginePage",
        "Are you sure you want to leave this page? Changes that you made may not be saved.");
}

// The type `name` is served with; a text file's encoding is read from its head, at `fd`'s start
// (pread leaves the offset where the engine starts reading).
std::string servedTypeOf(const std::string& name, int fd, std::int64_t size) {
    if (!browsing::typeNeedsHead(name)) {
        return browsing::servedType(name, {}, true);
    }
    std::string head(static_cast<std::size_t>(std::clamp<std::int64_t>(
                         size, 0, static_cast<std::int64_t>(kPageHeadSize))),
                     '\0');
    ssize_t got = 0;
    do {
        got = ::pread(fd, head.data(), head.size(), 0);
    } while (got < 0 && errno == EINTR);
    head.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return browsing::servedType(name, head, head.size() == static_cast<std::size_t>(size));
}

// Answers the view's requests for pelmaro: URLs with the bytes of the file they name, when the
// file is one of the tree's and the request comes from the reader or from a page of that tree.
class PageSchemeHandler final : public QWebEngineUrlSchemeHandler {
public:
    PageSchemeHandler(const browsing::PageTrees& trees, const QSet<QUrl>& granted, QObject* parent)
        : QWebEngineUrlSchemeHandler(parent), trees_(trees), granted_(granted) {}

    void requestStarted(QWebEngineUrlRequestJob* job) override {
        const QUrl url = job->requestUrl();
        const QUrl initiator = job->initiator();
        // No initiator: a navigation no page made, which the reader must have chosen (a title, the
        // history). Otherwise the page asking must be of the same tree; a sandboxed or data:
        // frame asks as "null".
        const bool fromTree = initiator.isEmpty()
                                  ? granted_.contains(url.adjusted(QUrl::RemoveFragment))
                                  : isPageUrl(initiator) && initiator.host() == url.host();
        const std::optional<std::string> name = pageFile(url);
        const std::optional<std::string> file =
            fromTree && name ? trees_.fileOf(url.host().toStdString(), *name) : std::nullopt;
        if (!file) {
            // Outside the tree is as good as missing, and nothing is opened to find out.
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        // Opened by its resolved name, as bytes; anything but a regular file is not even opened
        // (openRegularFile checks again what it has opened, and a FIFO never blocks it).
        struct stat info {};
        if (::stat(file->c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        std::optional<platform::RegularFile> opened;
        try {
            opened.emplace(platform::openRegularFile(*file));
        } catch (const Error& error) {
            job->fail(failureFor(error.systemError()));
            return;
        }
        const std::string type = servedTypeOf(*name, opened->descriptor(), opened->size());
        auto* device = new QFile;
        if (!device->open(opened->descriptor(), QIODevice::ReadOnly,
                          QFileDevice::AutoCloseHandle)) {
            delete device;
            job->fail(QWebEngineUrlRequestJob::RequestFailed);
            return;
        }
        opened->release();  // the device closes it now
        // The engine reads the file on its own thread until the job goes away.
        connect(job, &QObject::destroyed, device, &QObject::deleteLater);
        job->reply(QByteArray::fromStdString(type), device);
    }

private:
    const browsing::PageTrees& trees_;
    const QSet<QUrl>& granted_;
};

// Keeps pages off the network and off file: URLs: whatever a page asks of them is refused.
class RequestBlocker final : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QString scheme = info.requestUrl().scheme();
        if (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
            scheme == QLatin1String("ftp") || scheme == QLatin1String("ws") ||
            scheme == QLatin1String("wss") || scheme == QLatin1String("file")) {
            info.block(true);
        }
    }
};

// Runs before any script of every document: pages find no WebRTC. (A frame's first, empty
// document escapes it; the engine's switches keep WebRTC from sending anything all the same.)
constexpr char kNoWebRtc[] = R"(
for (const name of ['RTCPeerConnection', 'webkitRTCPeerConnection', 'RTCDataChannel',
                    'RTCIceTransport', 'RTCSctpTransport', 'RTCDtlsTransport']) {
    try { delete window[name]; } catch (e) {}
}
)";

// Runs in a world of its own in every document: the engine refuses a page's links to file: URLs
// before they become navigations, so a click on one goes to the same file in the page's tree
// (the tree decides whether it is there).
constexpr char kFileLinks[] = R"(
addEventListener('click', event => {
    const link = event.target instanceof Element ? event.target.closest('a[href], area[href]') : null;
    if (!link || location.protocol !== 'pelmaro:') return;
    let url;
    try { url = new URL(link.href); } catch (e) { return; }
    if (url.protocol !== 'file:') return;
    event.preventDefault();
    const frame = link.target === '' || link.target === '_self' ? window : window.top;
    frame.location.href = location.protocol + '//' + location.host + url.pathname + url.search + url.hash;
}, true);
)";

// Runs in the reader's own world of the shown document, with (x, y, focused): the link under the
// point (in CSS pixels), or the one with the focus, as the page resolves it; "" when there is
// none. Frames of the same tree are looked into; the page's own scripts can't change what this
// world sees of the DOM.
constexpr char kLinkAt[] = R"((x, y, focused) => {
    let doc = document, element = null;
    for (;;) {
        element = focused ? doc.activeElement : doc.elementFromPoint(x, y);
        if (!element || (element.localName !== 'iframe' && element.localName !== 'frame')) break;
        let inner = null;
        try { inner = element.contentDocument; } catch (e) {}
        if (!inner) return '';
        if (!focused) {
            const box = element.getBoundingClientRect();
            x -= box.left + element.clientLeft;
            y -= box.top + element.clientTop;
        }
        doc = inner;
    }
    const link = element && element.closest ? element.closest('a[href], area[href]') : null;
    return link && typeof link.href === 'string' ? link.href : '';
})";

// Runs in the reader's own world of the shown document, with the URL a page of it wanted to open
// in a new window: the document goes there itself, so that it stays in its tree.
constexpr char kFollow[] = R"(target => {
    const url = new URL(target);
    if (location.protocol !== 'pelmaro:') return;
    if (url.protocol === 'file:') {
        location.href = location.protocol + '//' + location.host + url.pathname + url.search + url.hash;
    } else if (url.protocol === 'pelmaro:' && url.host === location.host) {
        location.href = url.href;
    }
})";

// `text` as a script's string literal.
QString scriptString(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

}  // namespace

void registerPageScheme() {
    QWebEngineUrlScheme scheme(kPageScheme);
    // A host part makes relative links resolve as they do on any web site, and gives each tree
    // an origin of its own.
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setDefaultPort(QWebEngineUrlScheme::PortUnspecified);
    // CorsEnabled lets a page's scripts read files of its tree (search indexes and the like).
    // Neither LocalScheme nor LocalAccessAllowed: either would let pages read file: URLs.
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
}

QUrl pageUrl(const QString& tree, const std::string& fileName) {
    const QByteArray path =
        QByteArray(fileName.data(), static_cast<qsizetype>(fileName.size())).toPercentEncoding("/");
    return QUrl::fromEncoded(QByteArray(kPageScheme) + "://" + tree.toLatin1() + path,
                             QUrl::StrictMode);
}

std::optional<std::string> pageFile(const QUrl& url) {
    if (!isPageUrl(url) || url.host().isEmpty()) {
        return std::nullopt;
    }
    const QByteArray path =
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (path.isEmpty()) {
        return std::nullopt;
    }
    return path.toStdString();
}

ReaderPage::ReaderPage(QWebEngineProfile* profile, WebPageView& owner, QObject* parent)
    : QWebEnginePage(profile, parent), owner_(owner) {
    connect(this, &QWebEnginePage::newWindowRequested, this,
            [this](QWebEngineNewWindowRequest& request) { owner_.openNewWindow(*this, request); });
    // Nothing a page asks for is granted: no camera, microphone, location, notifications, full
    // screen, protocol handlers or file system access.
    connect(this, &QWebEnginePage::featurePermissionRequested, this,
            [this](const QUrl& origin, Feature feature) {
                setFeaturePermission(origin, feature, PermissionDeniedByUser);
            });
    connect(this, &QWebEnginePage::fullScreenRequested, this,
            [](QWebEngineFullScreenRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::registerProtocolHandlerRequested, this,
            [](QWebEngineRegisterProtocolHandlerRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::fileSystemAccessRequested, this,
            [](QWebEngineFileSystemAccessRequest request) { request.reject(); });
}

bool ReaderPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    return owner_.acceptNavigation(*this, url, type, isMainFrame);
}

void ReaderPage::javaScriptAlert(const QUrl& /*securityOrigin*/, const QString& /*msg*/) {}

bool ReaderPage::javaScriptConfirm(const QUrl& /*securityOrigin*/, const QString& msg) {
    // The engine asks this before leaving a page with a beforeunload handler: always leave.
    return msg == leaveQuestion();
}

bool ReaderPage::javaScriptPrompt(const QUrl& /*securityOrigin*/, const QString& /*msg*/,
                                  const QString& /*defaultValue*/, QString* /*result*/) {
    return false;
}

WebPageView::WebPageView(QWebEngineView& view)
    : view_(view), profile_(std::make_unique<QWebEngineProfile>()) {
    // The engine has read its switches now; programs started later must not inherit them.
    restoreEngineEnvironment();
    // A profile without a storage name is off the record: no cache or cookies on the disk.
    profile_->installUrlSchemeHandler(kPageScheme,
                                      new PageSchemeHandler(trees_, granted_, profile_.get()));
    profile_->setUrlRequestInterceptor(new RequestBlocker(profile_.get()));
    QWebEngineSettings* settings = profile_->settings();
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
    settings->setAttribute(QWebEngineSettings::AllowWindowActivationFromJavaScript, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    settings->setAttribute(QWebEngineSettings::HyperlinkAuditingEnabled, false);
    settings->setAttribute(QWebEngineSettings::WebRTCPublicInterfacesOnly, true);
    settings->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);
    settings->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, false);
    // A file dropped on the view would be shown outside every tree.
    settings->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
    // A link to another scheme (mailto: and the like) is put to acceptNavigation() only when
    // the user clicked; the engine's own launching of it is never accepted.
    settings->setUnknownUrlSchemePolicy(
        QWebEngineSettings::AllowUnknownUrlSchemesFromUserInteraction);
    // Showing a page must not take the keyboard from the title list: arrows go on browsing.
    settings->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);

    QWebEngineScript noWebRtc;
    noWebRtc.setName(QStringLiteral("pelmaro-no-webrtc"));
    noWebRtc.setInjectionPoint(QWebEngineScript::DocumentCreation);
    noWebRtc.setWorldId(QWebEngineScript::MainWorld);
    noWebRtc.setRunsOnSubFrames(true);
    noWebRtc.setSourceCode(QString::fromLatin1(kNoWebRtc));
    profile_->scripts()->insert(noWebRtc);
    QWebEngineScript fileLinks;
    fileLinks.setName(QStringLiteral("pelmaro-file-links"));
    fileLinks.setInjectionPoint(QWebEngineScript::DocumentCreation);
    fileLinks.setWorldId(QWebEngineScript::ApplicationWorld);
    fileLinks.setRunsOnSubFrames(true);
    fileLinks.setSourceCode(QString::fromLatin1(kFileLinks));
    profile_->scripts()->insert(fileLinks);

    page_ = createPage();
    view.setPage(page_);

    // The user's clicks and keys reach the engine through the view's render widget, which a
    // fresh page replaces: watched where they all pass.
    QCoreApplication::instance()->installEventFilter(this);
    watchdog_.setInterval(200);
    connect(&watchdog_, &QTimer::timeout, this, &WebPageView::watch);
    launchExpiry_.setSingleShot(true);
    launchExpiry_.setInterval(kUserInputLasts);
    connect(&launchExpiry_, &QTimer::timeout, this, [this] {
        if (launchAsked_) {
            emit linkBlocked(launchAsked_->url.toDisplayString());
            launchAsked_.reset();
        }
    });
}

WebPageView::~WebPageView() {
    QCoreApplication::instance()->removeEventFilter(this);
    // The page must go before its profile.
    delete page_.data();
}

ReaderPage* WebPageView::createPage() {
    auto* page = new ReaderPage(profile_.get(), *this, &view_);
    connect(page, &QWebEnginePage::loadFinished, this, [this, page](bool ok) {
        grantHistory(*page);
        if (page == page_ && ok && page->url() == wanted_) {
            watchdog_.stop();
        }
    });
    // A probe sent to a renderer that has been swapped for another may never be answered.
    connect(page, &QWebEnginePage::renderProcessPidChanged, this, [this, page] {
        if (page == page_) {
            ++probe_;
            probeOutstanding_ = false;
        }
    });
    return page;
}

void WebPageView::replacePage() {
    ReaderPage* old = page_;
    page_ = createPage();
    view_.setPage(page_);
    ++input_;
    pressedLink_.reset();
    clicked_.reset();
    ++probe_;
    probeOutstanding_ = false;
    // The engine ends the old renderer once no page uses it.
    delete old;
    emit pageReplaced();
}

void WebPageView::navigate(const std::string& fileName) {
    if (fileName.empty() || fileName.front() != '/') {
        throw Error("Cannot show \"" + fileName + "\". It is not a full file name");
    }
    const browsing::PageTrees::Place place = trees_.placeOf(fileName);
    wanted_ = pageUrl(QString::fromStdString(place.treeId), place.fileName);
    granted_.insert(wanted_);
    wantedSince_ = Clock::now();
    wantedAt_ = QDateTime::currentDateTime();
    ++serial_;
    page_->setUrl(wanted_);
    sendProbe();
    watchdog_.start();
}

void WebPageView::setCatalogueFolder(const std::string& folder) {
    trees_.setCatalogueFolder(folder);
}

void WebPageView::sendProbe() {
    const unsigned probe = ++probe_;
    probeOutstanding_ = true;
    probeSent_ = Clock::now();
    const QPointer<WebPageView> self(this);
    page_->runJavaScript(QStringLiteral("0"), QWebEngineScript::ApplicationWorld,
                         [self, probe](const QVariant&) {
                             if (self && self->probe_ == probe) {
                                 self->probeOutstanding_ = false;
                             }
                         });
}

void WebPageView::watch() {
    const Clock::time_point now = Clock::now();
    if (now - wantedSince_ > std::chrono::seconds(10)) {
        watchdog_.stop();  // the title has had its chance; a later pick watches again
        return;
    }
    const QWebEngineHistoryItem shown = page_->history()->currentItem();
    if (shown.url() == wanted_ && shown.lastVisited() >= wantedAt_) {
        // The picked title's document is there: if it hangs now, it is the page the user
        // picked, and loading it again would change nothing.
        watchdog_.stop();
        return;
    }
    if (!probeOutstanding_) {
        sendProbe();
        return;
    }
    if (now - probeSent_ > kHangAfter && replacedFor_ != serial_) {
        // The renderer doesn't answer (a script that never ends, a dialog loop of its own): the
        // picked title goes to a fresh page, once per pick.
        replacedFor_ = serial_;
        replacePage();
        page_->setUrl(wanted_);
        sendProbe();
    }
}

bool WebPageView::acceptNavigation(ReaderPage& page, const QUrl& url,
                                   QWebEnginePage::NavigationType type, bool isMainFrame) {
    const QString scheme = url.scheme();
    if (isPageUrl(url)) {
        // The reader's own navigations (navigate(), the history) go to the tree it chose; a
        // page's only to the tree of the document it has shown, whatever the view is about to
        // show instead. (The scheme answers by the asking page's tree all the same.)
        if (isMainFrame && (type == QWebEnginePage::NavigationTypeTyped ||
                            type == QWebEnginePage::NavigationTypeBackForward ||
                            type == QWebEnginePage::NavigationTypeReload)) {
            return true;
        }
        const QUrl shown = page.history()->currentItem().url();
        return isPageUrl(shown) && url.host() == shown.host();
    }
    if (scheme == QLatin1String("about") || scheme == QLatin1String("data") ||
        scheme == QLatin1String("blob")) {
        return true;
    }
    if (scheme == QLatin1String("file")) {
        if (isMainFrame) {
            // A page that links to its neighbours by file: URLs: they open in its tree.
            followInPage(page, url);
        }
        return false;
    }
    if (isWebLink(url)) {
        openOutside(url, type == QWebEnginePage::NavigationTypeLinkClicked);
    } else if (isMainFrame) {
        emit linkBlocked(url.toDisplayString());
    }
    return false;
}

void WebPageView::openNewWindow(ReaderPage& page, QWebEngineNewWindowRequest& request) {
    // The reader has one window: local pages open in it, web links outside, as any click does.
    const QUrl url = request.requestedUrl();
    const bool local = isPageUrl(url) || url.scheme() == QLatin1String("file");
    if (local && request.destination() == QWebEngineNewWindowRequest::InNewBackgroundTab) {
        // The engine's answer to a middle click or Ctrl+click: the click itself, seen in
        // eventFilter(), decides whether a tab opens; the page stays where it is.
        return;
    }
    if (local) {
        if (request.isUserInitiated()) {
            followInPage(page, url);
        } else {
            emit linkBlocked(url.toDisplayString());
        }
    } else if (isWebLink(url)) {
        openOutside(url, request.isUserInitiated());
    } else {
        emit linkBlocked(url.toDisplayString());
    }
}

void WebPageView::followInPage(ReaderPage& page, const QUrl& url) {
    // Loading it from here would be a navigation no page made, in whatever tree the URL names.
    page.runJavaScript(
        QStringLiteral("(%1)(%2)")
            .arg(QString::fromLatin1(kFollow), scriptString(url.toString(QUrl::FullyEncoded))),
        QWebEngineScript::ApplicationWorld);
}

void WebPageView::grantHistory(ReaderPage& page) {
    // Back, forward and reload come without an initiator; the history holds only documents that
    // were shown, each in the tree it was shown in.
    const QList<QWebEngineHistoryItem> items = page.history()->items();
    for (const QWebEngineHistoryItem& item : items) {
        if (isPageUrl(item.url())) {
            granted_.insert(item.url().adjusted(QUrl::RemoveFragment));
        }
    }
}

void WebPageView::openOutside(const QUrl& url, bool userClicked) {
    if (!userClicked || !browsing::linkForDesktop(url.toEncoded().toStdString())) {
        emit linkBlocked(url.toDisplayString());
        return;
    }
    if (launchAsked_) {
        emit linkBlocked(launchAsked_->url.toDisplayString());
    }
    // The page may follow the link before or after it has told which link the user clicked.
    launchAsked_ = Choice{url, Clock::now()};
    launchExpiry_.start();
    launchIfClicked();
}

void WebPageView::launchIfClicked() {
    if (!launchAsked_ || !clicked_ || launchAsked_->url != clicked_->url) {
        return;
    }
    const Clock::time_point now = Clock::now();
    const QUrl url = launchAsked_->url;
    const bool fresh = now - clicked_->at <= kUserInputLasts;
    launchAsked_.reset();
    launchExpiry_.stop();
    clicked_.reset();  // one program per click
    // Never more than one a second, whatever the clicks.
    if (!fresh || (lastOpened_ && now - *lastOpened_ < std::chrono::seconds(1))) {
        emit linkBlocked(url.toDisplayString());
        return;
    }
    lastOpened_ = now;
    const std::optional<std::string> desktop =
        browsing::linkForDesktop(url.toEncoded().toStdString());
    QDesktopServices::openUrl(QUrl::fromEncoded(QByteArray::fromStdString(*desktop)));
}

void WebPageView::openInNewTab(const QUrl& link) {
    const QUrl shown = page_->history()->currentItem().url();
    if (!isPageUrl(shown)) {
        return;
    }
    std::optional<std::string> name;
    if (isPageUrl(link) && link.host() == shown.host()) {
        name = pageFile(link);
    } else if (link.scheme() == QLatin1String("file")) {
        // As the page's own click would take it: the same name in its tree.
        name =
            QByteArray::fromPercentEncoding(link.path(QUrl::FullyEncoded).toLatin1()).toStdString();
    }
    if (name && !name->empty() && trees_.fileOf(shown.host().toStdString(), *name)) {
        emit newTabRequested(*name);
    } else {
        emit linkBlocked(link.toDisplayString());
    }
}

void WebPageView::askLinkAt(QPoint point, bool focused, std::function<void(const QString&)> found) {
    const double zoom = page_->zoomFactor() > 0 ? page_->zoomFactor() : 1.0;
    const QString script = QStringLiteral("(%1)(%2, %3, %4)")
                               .arg(QString::fromLatin1(kLinkAt), QString::number(point.x() / zoom),
                                    QString::number(point.y() / zoom),
                                    focused ? QStringLiteral("true") : QStringLiteral("false"));
    const QPointer<WebPageView> self(this);
    page_->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                         [self, found = std::move(found)](const QVariant& link) {
                             if (self) {
                                 found(link.toString());
                             }
                         });
}

bool WebPageView::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::KeyPress) {
        return false;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || (widget != &view_ && !view_.isAncestorOf(widget))) {
        return false;
    }
    // Each press, and each release that ends a click, asks the page which link it was on; a
    // click counts for a link only when the press and the release were on that very link.
    if (type == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) || key->isAutoRepeat()) {
            return false;
        }
        const unsigned input = ++input_;
        pressedLink_.reset();
        clicked_.reset();
        askLinkAt({}, true, [this, input](const QString& link) {
            if (input_ == input && !link.isEmpty()) {
                clicked_ = Choice{QUrl(link), Clock::now()};
                launchIfClicked();
            }
        });
        return false;
    }
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint point = widget->mapTo(&view_, mouse->position().toPoint());
    if (type == QEvent::MouseButtonPress) {
        const unsigned input = ++input_;
        pressedLink_.reset();
        clicked_.reset();
        pressedForTab_ =
            mouse->button() == Qt::MiddleButton ||
            (mouse->button() == Qt::LeftButton && mouse->modifiers().testFlag(Qt::ControlModifier));
        pressedButton_ = mouse->button();
        if (mouse->button() != Qt::LeftButton && !pressedForTab_) {
            return false;  // another button: what follows is no click
        }
        pressedAt_ = point;
        askLinkAt(point, false, [this, input](const QString& link) {
            if (input_ == input) {
                pressedLink_ = link;
            }
        });
        return false;
    }
    if (mouse->button() != pressedButton_ ||
        (mouse->button() != Qt::LeftButton && mouse->button() != Qt::MiddleButton) ||
        (point - pressedAt_).manhattanLength() > QApplication::startDragDistance()) {
        ++input_;  // a drag, or the end of another button's press
        return false;
    }
    const unsigned input = input_;
    const bool forTab = pressedForTab_;
    const bool primary = mouse->button() == Qt::LeftButton;
    askLinkAt(point, false, [this, input, forTab, primary](const QString& link) {
        // The page answers in order: the press's answer is in.
        if (input_ != input || !pressedLink_ || link.isEmpty() || *pressedLink_ != link) {
            return;
        }
        if (forTab && (isPageUrl(QUrl(link)) || QUrl(link).scheme() == QLatin1String("file"))) {
            openInNewTab(QUrl(link));
            return;
        }
        if (primary) {
            clicked_ = Choice{QUrl(link), Clock::now()};
            launchIfClicked();
        }
    });
    return false;
}

}  // namespace pelmaro::app
