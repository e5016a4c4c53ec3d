#include "app/page_tabs.h"

#include <QFile>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>
#include <QWebEngineView>
#include <algorithm>

#include "app/browser_pane.h"
#include "app/qt_text.h"

namespace pelmaro::app {

namespace {

// The most closed tabs that can be opened again.
constexpr std::size_t kMostClosedTabs = 20;
constexpr int kMostTitleCharacters = 40;

// A tab's title before its page has told one: the file's name ("/h/a b.htm" -> "a b.htm").
QString fileTitle(const std::string& fileName) {
    const std::size_t slash = fileName.rfind('/');
    return QFile::decodeName(QByteArray::fromStdString(
        slash == std::string::npos ? fileName : fileName.substr(slash + 1)));
}

}  // namespace

PageTabs::PageTabs(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("pageTabs"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    bar_ = new QTabBar;
    bar_->setObjectName(QStringLiteral("tabBar"));
    bar_->setAutoHide(true);  // one tab looks like a window without tabs
    bar_->setDocumentMode(true);
    bar_->setExpanding(false);
    bar_->setElideMode(Qt::ElideRight);
    bar_->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(bar_);
    stack_ = new QStackedWidget;
    layout->addWidget(stack_, 1);
    addPane(0);
    connect(bar_, &QTabBar::currentChanged, this, [this](int) { showCurrent(); });
    setFocusProxy(&current());
}

PageTabs::~PageTabs() {
    // A page that goes still tells of its title, to a tab bar that may be gone by then.
    for (const Tab& tab : tabs_) {
        disconnect(tab.pane, nullptr, this, nullptr);
    }
}

BrowserPane* PageTabs::addPane(int index) {
    auto* pane = new BrowserPane;
    // The first pane is the one the window has always had; later ones are told apart by tab.
    if (!tabs_.empty()) {
        pane->setObjectName(QStringLiteral("browserPane%1").arg(tabs_.size() + 1));
        pane->view().setObjectName(QStringLiteral("pageView%1").arg(tabs_.size() + 1));
        pane->setZoomPercent(current().zoomPercent());
    }
    pane->setCatalogueFolder(folder_);
    pane->setPageCommands(pageCommands_);
    stack_->addWidget(pane);
    tabs_.insert(tabs_.begin() + index, Tab{pane, std::nullopt});
    connect(pane, &BrowserPane::fileShown, this, [this, pane](const std::string& fileName) {
        if (pane == &current()) {
            emit fileShown(fileName);
        }
    });
    connect(pane, &BrowserPane::documentLeft, this, [this, pane] {
        if (pane == &current()) {
            emit documentLeft();
        }
    });
    connect(pane, &BrowserPane::linkHovered, this, [this, pane](const QString& target) {
        if (pane == &current()) {
            emit linkHovered(target);
        }
    });
    connect(pane, &BrowserPane::linkBlocked, this, &PageTabs::linkBlocked);
    connect(pane, &BrowserPane::titleChanged, this,
            [this, pane](const QString& title) { setTitle(pane, title); });
    connect(pane, &BrowserPane::newTabRequested, this,
            [this, pane](const std::string& fileName) { openLink(pane, fileName); });
    const QSignalBlocker quiet(bar_);  // the caller makes it current when it wants to
    bar_->insertTab(index, QString());
    return pane;
}

BrowserPane& PageTabs::current() const {
    const int index = std::clamp(bar_->currentIndex(), 0, count() - 1);
    return *tabs_[static_cast<std::size_t>(index)].pane;
}

int PageTabs::currentIndex() const {
    return std::max(bar_->currentIndex(), 0);
}

int PageTabs::indexOf(const BrowserPane* pane) const {
    for (std::size_t i = 0; i < tabs_.size(); ++i) {
        if (tabs_[i].pane == pane) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void PageTabs::navigate(const std::string& fileName) {
    tabs_[static_cast<std::size_t>(currentIndex())].waiting.reset();
    current().navigate(fileName);
}

void PageTabs::navigateAndFind(const std::string& fileName, const std::string& text) {
    tabs_[static_cast<std::size_t>(currentIndex())].waiting.reset();
    current().navigateAndFind(fileName, text);
}

void PageTabs::setCatalogueFolder(const std::string& folder) {
    folder_ = folder;
    for (const Tab& tab : tabs_) {
        tab.pane->setCatalogueFolder(folder);
    }
}

void PageTabs::openTab() {
    const int index = currentIndex() + 1;
    addPane(index);
    select(index);
}

void PageTabs::openLink(const BrowserPane* from, const std::string& fileName) {
    const int origin = indexOf(from);
    if (origin < 0) {
        return;
    }
    // Behind the tab it came from, as browsers open a middle-clicked link: reading goes on there.
    BrowserPane* pane = addPane(origin + 1);
    setTitle(pane, fileTitle(fileName));
    pane->navigate(fileName);
}

void PageTabs::closeCurrent() {
    if (count() < 2) {
        return;
    }
    const int index = currentIndex();
    Tab tab = tabs_[static_cast<std::size_t>(index)];
    if (std::optional<OpenTab> state = stateOf(tab)) {
        closed_.push_back(std::move(*state));
        if (closed_.size() > kMostClosedTabs) {
            closed_.erase(closed_.begin());
        }
    }
    tabs_.erase(tabs_.begin() + index);
    // The bar makes a neighbour current, which shows it.
    bar_->removeTab(index);
    stack_->removeWidget(tab.pane);
    tab.pane->deleteLater();
}

void PageTabs::reopenClosed() {
    if (closed_.empty()) {
        return;
    }
    const OpenTab tab = closed_.back();
    closed_.pop_back();
    const int index = currentIndex() + 1;
    BrowserPane* pane = addPane(index);
    setTitle(pane, fileTitle(tab.fileName));
    select(index);
    pane->navigateAndScroll(tab.fileName, tab.scrollY);
}

void PageTabs::selectNext() {
    select((currentIndex() + 1) % count());
}

void PageTabs::selectPrevious() {
    select((currentIndex() + count() - 1) % count());
}

void PageTabs::select(int index) {
    if (index >= 0 && index < count() && index != bar_->currentIndex()) {
        bar_->setCurrentIndex(index);
    }
}

void PageTabs::showCurrent() {
    Tab& tab = tabs_[static_cast<std::size_t>(currentIndex())];
    stack_->setCurrentWidget(tab.pane);
    setFocusProxy(tab.pane);
    emit linkHovered(QString());
    emit currentChanged();
    if (tab.waiting) {
        const OpenTab waiting = *tab.waiting;
        tab.waiting.reset();
        tab.pane->navigateAndScroll(waiting.fileName, waiting.scrollY);
    } else if (const std::optional<std::string> shown = tab.pane->shownFile()) {
        emit fileShown(*shown);  // the title list follows the tab
    } else {
        emit documentLeft();
    }
}

void PageTabs::setTitle(const BrowserPane* pane, const QString& title) {
    const int index = indexOf(pane);
    if (index < 0) {
        return;
    }
    QString shown = withBidiMarks(title.simplified());
    bar_->setTabToolTip(index, shown);
    if (shown.size() > kMostTitleCharacters) {
        shown = shown.left(kMostTitleCharacters - 1) + QChar(0x2026);
    }
    // "&" would mark an access key.
    bar_->setTabText(index, shown.replace(QLatin1Char('&'), QStringLiteral("&&")));
}

void PageTabs::setPageCommands(const QList<QAction*>& commands) {
    pageCommands_ = commands;
    for (const Tab& tab : tabs_) {
        tab.pane->setPageCommands(commands);
    }
}

bool PageTabs::holds(const QObject* object) const {
    return std::any_of(tabs_.begin(), tabs_.end(),
                       [object](const Tab& tab) { return tab.pane->holds(object); });
}

std::optional<OpenTab> PageTabs::stateOf(const Tab& tab) const {
    if (tab.waiting) {
        return tab.waiting;
    }
    if (const std::optional<std::string> shown = tab.pane->shownFile()) {
        return OpenTab{*shown, tab.pane->scrollY()};
    }
    return std::nullopt;
}

OpenTabs PageTabs::state() const {
    OpenTabs open;
    for (int i = 0; i < count(); ++i) {
        if (std::optional<OpenTab> tab = stateOf(tabs_[static_cast<std::size_t>(i)])) {
            if (i == currentIndex()) {
                open.current = static_cast<int>(open.tabs.size());
            }
            open.tabs.push_back(std::move(*tab));
        }
    }
    return open;
}

void PageTabs::restore(const OpenTabs& open) {
    if (open.tabs.empty()) {
        return;
    }
    // The tab there is becomes the current one of the last run; the others go round it.
    while (count() > 1) {
        select(count() - 1);
        closeCurrent();
    }
    closed_.clear();
    const std::size_t current = static_cast<std::size_t>(open.current);
    for (std::size_t i = 0; i < open.tabs.size(); ++i) {
        if (i == current) {
            continue;
        }
        const int index = i < current ? static_cast<int>(i) : count();
        BrowserPane* pane = addPane(index);
        tabs_[static_cast<std::size_t>(index)].waiting = open.tabs[i];
        setTitle(pane, fileTitle(open.tabs[i].fileName));
    }
    const int index = static_cast<int>(current);
    {
        const QSignalBlocker quiet(bar_);
        bar_->setCurrentIndex(index);
    }
    stack_->setCurrentWidget(&this->current());
    setFocusProxy(&this->current());
    const OpenTab& shown = open.tabs[current];
    setTitle(&this->current(), fileTitle(shown.fileName));
    this->current().navigateAndScroll(shown.fileName, shown.scrollY);
    emit currentChanged();
}

}  // namespace pelmaro::app
