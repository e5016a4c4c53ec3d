#include "app/browser_pane.h"

#include <QAction>
#include <QChildEvent>
#include <QMenu>
#include <QPointer>
#include <QQuickWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <QWheelEvent>
#include <cmath>

#include "app/find_bar.h"
#include "app/page_view.h"
#include "app/qt_text.h"
#include "reader/view_settings.h"

namespace pelmaro::app {

namespace {

// One notch of an ordinary mouse wheel.
constexpr int kWheelNotch = 120;
// The most headings of a page the contents show.
constexpr int kMostHeadings = 500;

}  // namespace

QString linkTarget(const QString& url) {
    const QUrl link(url);
    const std::optional<std::string> file = pageFile(link);
    if (!file) {
        return url;
    }
    return link.hasFragment() ? toQString(*file) + QLatin1Char('#') + link.fragment()
                              : toQString(*file);
}

BrowserPane::BrowserPane(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("browserPane"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    view_ = new QWebEngineView;
    view_->setObjectName(QStringLiteral("pageView"));
    layout->addWidget(view_, 1);
    pages_ = std::make_unique<WebPageView>(*view_);
    findBar_ = new FindBar(*view_);
    layout->addWidget(findBar_);
    setFocusProxy(view_);

    // The engine draws the page in a widget of Qt Quick's, which it puts into the view only once
    // the window is shown; Qt then replaces the window's native window with one that such widgets
    // can draw in, and the new one forgets that it was maximized. A hidden widget of that kind
    // here gives the window such a native window from the start.
    auto* quickSurface = new QQuickWidget(this);
    quickSurface->setObjectName(QStringLiteral("quickSurface"));
    quickSurface->hide();

    scrollWatch_ = new QTimer(this);
    scrollWatch_->setInterval(500);
    connect(scrollWatch_, &QTimer::timeout, this, &BrowserPane::askScrollPosition);
    scrollWatch_->start();

    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view_, &QWidget::customContextMenuRequested, this, &BrowserPane::showContextMenu);

    attachPage();
    connect(pages_.get(), &WebPageView::pageReplaced, this, &BrowserPane::attachPage);
    connect(pages_.get(), &WebPageView::linkBlocked, this, &BrowserPane::linkBlocked);
    connect(pages_.get(), &WebPageView::newTabRequested, this, &BrowserPane::newTabRequested);
    connect(view_, &QWebEngineView::titleChanged, this, &BrowserPane::titleChanged);

    // Ctrl+wheel goes to the engine's own widgets, which replace each other as pages come and go.
    view_->installEventFilter(this);
    for (QObject* child : view_->children()) {
        child->installEventFilter(this);
    }
}

BrowserPane::~BrowserPane() = default;

void BrowserPane::attachPage() {
    QWebEnginePage* page = view_->page();
    connect(page, &QWebEnginePage::urlChanged, this, [this](const QUrl& url) {
        if (url != loaded_) {
            emit documentLeft();
        }
        // The engine tells of a hovered link only when the pointer moves: a page that changes
        // under a still pointer would leave the old target on the status line.
        forgetHoveredLink();
    });
    connect(page, &QWebEnginePage::loadStarted, this, &BrowserPane::forgetHoveredLink);
    connect(page, &QWebEnginePage::scrollPositionChanged, this, &BrowserPane::askScrollPosition);
    connect(page, &QWebEnginePage::loadFinished, this, &BrowserPane::pageLoaded);
    connect(page, &QWebEnginePage::linkHovered, this, [this](const QString& url) {
        hoveringLink_ = !url.isEmpty();
        emit linkHovered(linkTarget(url));
    });
    forgetHoveredLink();
    findBar_->attachPage();
    view_->setZoomFactor(zoomPercent_ / 100.0);
}

void BrowserPane::forgetHoveredLink() {
    if (hoveringLink_) {
        hoveringLink_ = false;
        emit linkHovered(QString());
    }
}

void BrowserPane::showContextMenu(const QPoint& position) {
    QMenu* menu = view_->createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setObjectName(QStringLiteral("pageMenu"));
    // The reader has one window and keeps no downloads; nor does it show a page's source or the
    // engine's tools: these would do nothing.
    const QWebEnginePage* page = view_->page();
    for (const QWebEnginePage::WebAction unused :
         {QWebEnginePage::OpenLinkInNewWindow, QWebEnginePage::OpenLinkInNewTab,
          QWebEnginePage::OpenLinkInNewBackgroundTab, QWebEnginePage::DownloadLinkToDisk,
          QWebEnginePage::DownloadImageToDisk, QWebEnginePage::DownloadMediaToDisk,
          QWebEnginePage::SavePage, QWebEnginePage::ViewSource, QWebEnginePage::InspectElement}) {
        menu->removeAction(page->action(unused));
    }
    // A separator left first, last or beside another one.
    const QList<QAction*> actions = menu->actions();
    QAction* previous = nullptr;
    for (QAction* action : actions) {
        if (action->isSeparator() && (previous == nullptr || previous->isSeparator())) {
            menu->removeAction(action);
        } else {
            previous = action;
        }
    }
    if (previous != nullptr && previous->isSeparator()) {
        menu->removeAction(previous);
    }
    if (!pageCommands_.isEmpty()) {
        if (!menu->isEmpty()) {
            menu->addSeparator();
        }
        menu->addActions(pageCommands_);
    }
    if (menu->isEmpty()) {
        delete menu;
        return;
    }
    menu->popup(view_->mapToGlobal(position));
}

void BrowserPane::setCatalogueFolder(const std::string& folder) {
    pages_->setCatalogueFolder(folder);
}

void BrowserPane::navigate(const std::string& fileName) {
    pendingFind_.reset();
    pendingScroll_.reset();
    pages_->navigate(fileName);
}

void BrowserPane::navigateAndScroll(const std::string& fileName, int scrollY) {
    navigate(fileName);
    if (scrollY > 0) {
        pendingScroll_ = PendingScroll{fileName, scrollY};
    }
}

std::optional<std::string> BrowserPane::shownFile() const {
    return loaded_.isEmpty() ? std::nullopt : pageFile(loaded_);
}

void BrowserPane::askScrollPosition() {
    if (!isVisible()) {
        return;  // a tab behind is not scrolled by the user
    }
    // The engine's own scrollPosition() lags behind while frames are not drawn.
    view_->page()->runJavaScript(
        QStringLiteral("Math.round(window.scrollY)"), QWebEngineScript::ApplicationWorld,
        [self = QPointer<BrowserPane>(this),
         page = QPointer<QWebEnginePage>(view_->page())](const QVariant& y) {
            if (self && page && page == self->view_->page() && y.isValid()) {
                self->scrollY_ = std::max(y.toInt(), 0);
            }
        });
}

void BrowserPane::navigateAndFind(const std::string& fileName, const std::string& text) {
    pendingScroll_.reset();
    pages_->navigate(fileName);
    pendingFind_ = PendingFind{fileName, toQString(text)};
}

void BrowserPane::readHeadings(std::function<void(const QStringList&)> found) {
    // In the reader's own world: the page's scripts can't change what it reads.
    view_->page()->runJavaScript(
        QStringLiteral("[...document.querySelectorAll('h1, h2, h3')].slice(0, %1)"
                       ".map(h => h.textContent.replace(/\\s+/g, ' ').trim().slice(0, 300))")
            .arg(kMostHeadings),
        QWebEngineScript::ApplicationWorld,
        [found = std::move(found),
         page = QPointer<QWebEnginePage>(view_->page())](const QVariant& headings) {
            if (page) {
                found(headings.toStringList());
            }
        });
}

void BrowserPane::scrollToHeading(int heading) {
    view_->page()->runJavaScript(QStringLiteral("(h => h && h.scrollIntoView())("
                                                "document.querySelectorAll('h1, h2, h3')[%1])")
                                     .arg(heading),
                                 QWebEngineScript::ApplicationWorld);
}

void BrowserPane::goBack() {
    view_->back();
}

void BrowserPane::goForward() {
    view_->forward();
}

void BrowserPane::openFindBar() {
    findBar_->open();
}

void BrowserPane::setZoomPercent(int percent) {
    zoomPercent_ = std::clamp(percent, kMinZoomPercent, kMaxZoomPercent);
    view_->setZoomFactor(zoomPercent_ / 100.0);
}

void BrowserPane::zoomIn() {
    zoomBy(true);
}

void BrowserPane::zoomOut() {
    zoomBy(false);
}

void BrowserPane::resetZoom() {
    setZoomPercent(100);
}

void BrowserPane::zoomBy(bool larger) {
    setZoomPercent(nextZoomPercent(zoomPercent_, larger));
}

bool BrowserPane::holds(const QObject* object) const {
    const auto* widget = qobject_cast<const QWidget*>(object);
    return widget != nullptr && (widget == view_ || view_->isAncestorOf(widget));
}

void BrowserPane::pageLoaded(bool ok) {
    // Only a document that has loaded moves the title list: a page's pushState or replaceState
    // changes the address without showing another page.
    loaded_.clear();
    if (const std::optional<std::string> file = pageFile(view_->url()); ok && file) {
        loaded_ = view_->url();
        emit fileShown(*file);
    }
    // A page of another origin may start at the engine's own zoom.
    if (std::abs(view_->zoomFactor() - zoomPercent_ / 100.0) > 0.001) {
        view_->setZoomFactor(zoomPercent_ / 100.0);
    }
    std::optional<PendingScroll> scroll = std::move(pendingScroll_);
    pendingScroll_.reset();
    scrollY_ = 0;
    if (ok && scroll && pageFile(view_->url()) == scroll->fileName) {
        scrollY_ = scroll->y;
        // In the reader's own world: the page's scripts can't stand in for scrollTo.
        view_->page()->runJavaScript(QStringLiteral("window.scrollTo(0, %1)").arg(scroll->y),
                                     QWebEngineScript::ApplicationWorld);
    }
    std::optional<PendingFind> pending = std::move(pendingFind_);
    pendingFind_.reset();
    if (ok && pending && pageFile(view_->url()) == pending->fileName) {
        findBar_->find(pending->text);
    } else {
        findBar_->findAgain();
    }
}

bool BrowserPane::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_ && event->type() == QEvent::ChildAdded) {
        static_cast<QChildEvent*>(event)->child()->installEventFilter(this);
    } else if (event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers().testFlag(Qt::ControlModifier)) {
            // The engine would zoom by itself, by its own steps and without telling; fine wheels
            // and touchpads add up to notches.
            wheelRemainder_ += wheel->angleDelta().y();
            for (; wheelRemainder_ >= kWheelNotch; wheelRemainder_ -= kWheelNotch) {
                zoomIn();
            }
            for (; wheelRemainder_ <= -kWheelNotch; wheelRemainder_ += kWheelNotch) {
                zoomOut();
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace pelmaro::app
