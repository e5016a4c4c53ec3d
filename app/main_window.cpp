#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMetaObject>
#include <QMouseEvent>
#include <QSplitter>
#include <QStackedLayout>
#include <QStackedWidget>
#include <QStatusBar>
#include <QWebEngineView>
#include <exception>

#include "app/browser_pane.h"
#include "app/close_request.h"
#include "app/contents_panel.h"
#include "app/overlay_pane.h"
#include "app/qt_text.h"
#include "app/quick_find_panel.h"
#include "app/result_rows.h"
#include "reader/reader.h"
#include "reader/view_settings.h"
#include "window_text/window_text.h"

namespace pelmaro::app {

namespace {

constexpr int kTitleListWidth = 121;
constexpr int kSplitterWidth = 16;
constexpr int kBlockedLinkShownMs = 5000;

// The results' heading: a line per search, "Results for ‹text›", with where a stopped one
// stopped and how many pages it could not read; those pages are named on hover.
struct ResultHeading {
    QString text;
    QString details;
};

ResultHeading resultHeading(const std::vector<SearchRun>& runs) {
    if (runs.empty()) {
        return {QStringLiteral("Results"), {}};
    }
    ResultHeading heading;
    for (const SearchRun& run : runs) {
        QString line =
            QStringLiteral("Results for \u2039%1\u203a").arg(isolatedText(toQString(run.text)));
        for (const std::string& note : {foundNote(run), stoppedNote(run), unreadableNote(run)}) {
            if (!note.empty()) {
                line += QStringLiteral(" \u2014 ") + toQString(note);
            }
        }
        heading.text += (heading.text.isEmpty() ? QString() : QStringLiteral("\n")) + line;
        if (!run.unreadable.empty()) {
            heading.details += (heading.details.isEmpty() ? QString() : QStringLiteral("\n")) +
                               shownText(unreadableDetails(run));
        }
    }
    return heading;
}

}  // namespace

void MenuCommands::add(QAction* action) {
    actions_.push_back(action);
    setLabel(action, label(action));
}

void MenuCommands::setLabel(QAction* action, const std::string& label) {
    std::vector<std::string> labels;
    labels.reserve(actions_.size());
    for (const QAction* each : actions_) {
        labels.push_back(each == action ? label : MenuCommands::label(each));
    }
    labels = window_text::placeAccessKeys(labels);
    for (std::size_t i = 0; i < actions_.size(); ++i) {
        const QString text = toQString(labels[i]);
        if (actions_[i]->text() != text) {
            actions_[i]->setText(text);
        }
    }
}

std::string MenuCommands::label(const QAction* action) {
    return toBytes(action->text());
}

// The full-search command's label, read back with its mark, as the reader reads and sets it.
class MainWindow::FullSearchLabel final : public platform::MenuItem {
public:
    FullSearchLabel(MenuCommands& commands, QAction* action)
        : commands_(commands), action_(action) {}
    std::string label() const override { return MenuCommands::label(action_); }
    void setLabel(const std::string& label) override { commands_.setLabel(action_, label); }

private:
    MenuCommands& commands_;
    QAction* action_;
};

MainWindow::MainWindow(WindowServices services, QWidget* parent)
    : QMainWindow(parent), services_(services) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Pelmaro 1.0"));
    setGeometry(176, 114, 552, 378);  // the size it has when not maximized

    buildControls();
    buildMenu();
    buildBrowserKeys();
    buildStatusLine();
    reader_ = std::make_unique<Reader>(
        ReaderServices{*titles_, *paths_, *bookmarks_, *results_, *this, services_.dialogs,
                       services_.files, services_.settings, *browser_, *fullSearchLabel_, *this});
    reader_->setOnBusyChanged([this] { showBusy(); });
    reader_->setOnTitlesIndexed([this] { quickFind_->refresh(); });
    reader_->setOnCatalogueChanged([this] {
        showCatalogueStatus();
        showOverlays();  // another catalogue takes the results' headings with the results
    });
    if (services_.modalDialogs != nullptr) {
        services_.modalDialogs->attach(this);
        blockedClose_ =
            std::make_unique<BlockedCloseFilter>(*this, [this] { closeOnceBoxesReturn(); });
    }
    // Tab must reach the window from inside the page too, where the engine's widgets take it for
    // the page's links; and the engine's widgets come and go with the pages.
    qApp->installEventFilter(this);
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
    // Long work ends before the lists it hands its results to.
    reader_.reset();
    // The views go before the models they show.
    delete takeCentralWidget();
}

void MainWindow::buildControls() {
    titles_ = new ByteListModel(true, this);
    paths_ = new ByteListModel(false, this);  // never shown
    bookmarks_ = new ByteListModel(false, this);
    results_ = new ByteListModel(false, this);
    titles_->setObjectName(QStringLiteral("titles"));
    paths_->setObjectName(QStringLiteral("paths"));
    bookmarks_->setObjectName(QStringLiteral("bookmarks"));
    results_->setObjectName(QStringLiteral("results"));

    splitter_ = new QSplitter(Qt::Horizontal);
    splitter_->setObjectName(QStringLiteral("splitter"));
    splitter_->setHandleWidth(kSplitterWidth);

    titleView_ = new EntryListView(*titles_);
    titleView_->setObjectName(QStringLiteral("titleList"));
    // A drag to a sliver shuts the list rather than leaving an unreadable strip.
    titleView_->setMinimumWidth(60);
    titleView_->setTypingHandedOn(true);
    titles_->setShownText(
        [this](int row, std::string_view) -> std::string { return reader_->shownTitle(row); });
    quickFind_ = new QuickFindPanel(
        [this](std::string_view query) { return reader_->quickFind(query); },
        [this](int entry) -> const std::string& { return reader_->shownTitle(entry); });
    titlePane_ = new QStackedWidget;
    titlePane_->addWidget(titleView_);
    titlePane_->addWidget(quickFind_);
    contents_ = new ContentsPanel(
        [this]() -> const platform::TextList& { return paths_->items(); },
        [this](int entry) -> const std::string& { return reader_->shownTitle(entry); });
    contents_->setObjectName(QStringLiteral("contents"));
    titlePane_->addWidget(contents_);
    splitter_->addWidget(titlePane_);

    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("pageArea"));
    pageArea_ = new QStackedLayout(page);
    pageArea_->setContentsMargins(0, 0, 0, 0);
    browser_ = new BrowserPane;
    bookmarkPane_ = new OverlayPane(
        *bookmarks_,
        QStringLiteral("No bookmarks yet. New bookmark (F6) adds the selected title."));
    bookmarkPane_->setHeading(QStringLiteral("Bookmarks"));
    resultPane_ = new OverlayPane(*results_, QStringLiteral("No page holds the text."));
    bookmarkView_ = &bookmarkPane_->view();
    bookmarkView_->setObjectName(QStringLiteral("bookmarkList"));
    resultView_ = &resultPane_->view();
    resultView_->setObjectName(QStringLiteral("resultList"));
    // The overlays show the titles of the entries their references point at, as people read them.
    const auto shownReference = [this](int, std::string_view item) {
        return reader_->shownReference(item);
    };
    bookmarks_->setShownText(shownReference);
    results_->setShownText([this](int row, std::string_view item) {
        return toBytes(resultRowText(reader_->shownReference(item), reader_->resultFolder(row),
                                     reader_->resultContext(row)));
    });
    resultView_->setItemDelegate(new ResultRowDelegate(
        [this](int row) -> const ContextLine& { return reader_->resultContext(row); },
        resultView_));
    bestFirst_ = new QCheckBox(QStringLiteral("Best first"));
    bestFirst_->setObjectName(QStringLiteral("bestFirst"));
    bestFirst_->setChecked(true);
    resultPane_->addHeadingControl(bestFirst_);
    connect(bestFirst_, &QCheckBox::toggled, this, [this](bool checked) {
        run([&] {
            reader_->setResultOrder(checked ? ResultOrder::BestFirst : ResultOrder::Catalogue);
        });
    });
    pageArea_->addWidget(browser_);
    pageArea_->addWidget(bookmarkPane_);
    pageArea_->addWidget(resultPane_);
    page->setMinimumWidth(30);
    splitter_->addWidget(page);

    splitter_->setCollapsible(0, true);
    splitter_->setCollapsible(1, false);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({kTitleListWidth, width() - kTitleListWidth - kSplitterWidth});
    setCentralWidget(splitter_);
    setTabOrder(titleView_, &browser_->view());

    connect(titleView_, &EntryListView::typedText, this, &MainWindow::openQuickFind);
    connect(quickFind_, &QuickFindPanel::entryChosen, this, [this](int entry) {
        run([this, entry] {
            titles_->select(entry);
            reader_->showSelectedPage();
        });
    });
    // The contents follow the catalogue and the page, like the title list.
    const auto catalogueChanged = [this] {
        contents_->model().catalogueChanged();
        if (contentsShown()) {
            showContents();
        }
    };
    connect(paths_, &QAbstractItemModel::modelReset, this, catalogueChanged);
    connect(paths_, &QAbstractItemModel::rowsInserted, this, catalogueChanged);
    connect(paths_, &QAbstractItemModel::rowsRemoved, this, catalogueChanged);
    connect(titles_, &ByteListModel::selectionSet, this, [this](int entry) {
        if (contentsShown()) {
            contents_->follow(entry);
        }
    });
    connect(contents_, &ContentsPanel::entryChosen, this, [this](int entry) {
        run([this, entry] {
            titles_->select(entry);
            reader_->showSelectedPage();
        });
    });
    connect(contents_, &ContentsPanel::headingChosen, browser_, &BrowserPane::scrollToHeading);
    connect(quickFind_, &QuickFindPanel::closed, this, [this] {
        titlePane_->setCurrentWidget(titleView_);
        titleView_->setFocus(Qt::OtherFocusReason);
    });
    connect(titleView_, &EntryListView::userSelectionChanged, this,
            [this] { run([this] { reader_->showSelectedPage(); }); });
    // A click on the selected title, or Enter on it, after a link has led out of the catalogue.
    connect(titleView_, &QAbstractItemView::clicked, this,
            [this] { run([this] { reader_->returnToSelectedPage(); }); });
    connect(titleView_, &EntryListView::listDoubleClicked, this,
            [this] { run([this] { reader_->returnToSelectedPage(); }); });
    connect(browser_, &BrowserPane::fileShown, this,
            [this](const std::string& fileName) { reader_->pageShown(fileName); });
    connect(browser_, &BrowserPane::documentLeft, this, [this] { reader_->pageLeft(); });
    connect(browser_, &BrowserPane::fileShown, this, [this] {
        if (contentsShown()) {
            readHeadingsIntoContents();
        }
    });
    connect(bookmarkView_, &EntryListView::listDoubleClicked, this,
            [this] { run([this] { reader_->jumpFromBookmark(); }); });
    connect(resultView_, &EntryListView::listDoubleClicked, this,
            [this] { run([this] { reader_->jumpFromResult(); }); });
    connect(bookmarks_, &ByteListModel::visibilityChanged, this, &MainWindow::showOverlays);
    connect(results_, &ByteListModel::visibilityChanged, this, &MainWindow::showOverlays);
}

QAction* MainWindow::addCommand(const char* name, const char* label, Qt::Key key,
                                void (Reader::*command)()) {
    auto* action = new QAction(QString::fromLatin1(label), this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(QKeySequence(key));
    // The keys work wherever the focus is, the page view included.
    action->setShortcutContext(Qt::ApplicationShortcut);
    connect(action, &QAction::triggered, this,
            [this, command] { run([this, command] { (reader_.get()->*command)(); }); });
    menuBar()->addAction(action);
    commands_.add(action);
    return action;
}

void MainWindow::buildMenu() {
    menuBar()->setObjectName(QStringLiteral("menuBar"));
    QAction* build = addCommand("buildFromFolder", "Path", Qt::Key_F2, &Reader::buildFromFolder);
    addCommand("findNext", "Search", Qt::Key_F3, &Reader::findNext);
    addCommand("findFromTop", "New Search", Qt::Key_F4, &Reader::findFromTop);
    addCommand("toggleBookmarks", "Bookmark", Qt::Key_F8, &Reader::toggleBookmarks);
    addCommand("addBookmark", "New bookmark", Qt::Key_F6, &Reader::addBookmark);
    addCommand("deleteBookmark", "Delete Bookmark", Qt::Key_F7, &Reader::deleteBookmark);
    QAction* open = addCommand("openStored", "Open", Qt::Key_F9, &Reader::openStored);
    addCommand("toggleResults", "Result", Qt::Key_F10, &Reader::toggleResults);
    fullSearch_ = addCommand("startOrStopFullSearch", "Full search", Qt::Key_F11,
                             &Reader::startOrStopFullSearch);
    fullSearchLabel_ = std::make_unique<FullSearchLabel>(commands_, fullSearch_);

    // Not on the bar: the bar holds the commands it always held.
    auto* quickFind = new QAction(QStringLiteral("Quick find"), this);
    quickFind->setObjectName(QStringLiteral("quickFind"));
    quickFind->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    quickFind->setShortcutContext(Qt::ApplicationShortcut);
    connect(quickFind, &QAction::triggered, this, [this] { openQuickFind(QString()); });
    addAction(quickFind);
    // As in Qt's help viewer: Alt+C the contents, Alt+I the title list (its index).
    auto* contents = new QAction(QStringLiteral("Contents"), this);
    contents->setObjectName(QStringLiteral("showContents"));
    contents->setShortcut(QKeySequence(Qt::ALT | Qt::Key_C));
    contents->setShortcutContext(Qt::ApplicationShortcut);
    connect(contents, &QAction::triggered, this, &MainWindow::showContents);
    addAction(contents);
    auto* titleList = new QAction(QStringLiteral("Titles"), this);
    titleList->setObjectName(QStringLiteral("showTitleList"));
    titleList->setShortcut(QKeySequence(Qt::ALT | Qt::Key_I));
    titleList->setShortcutContext(Qt::ApplicationShortcut);
    connect(titleList, &QAction::triggered, this, &MainWindow::showTitleList);
    addAction(titleList);
    longCommands_ = {build, open};
}

bool MainWindow::contentsShown() const {
    return titlePane_->currentWidget() == contents_;
}

void MainWindow::showContents() {
    titlePane_->setCurrentWidget(contents_);
    contents_->model().make();
    contents_->follow(titles_->selectedIndex());
    contents_->setFocus(Qt::OtherFocusReason);
    readHeadingsIntoContents();
}

void MainWindow::showTitleList() {
    titlePane_->setCurrentWidget(titleView_);
    titleView_->setFocus(Qt::OtherFocusReason);
}

void MainWindow::readHeadingsIntoContents() {
    const int entry = titles_->selectedIndex();
    if (entry < 0 || !reader_->showsSelectedPage()) {
        return;
    }
    browser_->readHeadings([this, entry](const QStringList& headings) {
        if (titles_->selectedIndex() == entry) {
            contents_->model().setHeadings(entry, headings);
            contents_->follow(entry);
        }
    });
}

void MainWindow::addBrowserKey(const char* name, const QList<QKeySequence>& keys,
                               void (BrowserPane::*action)()) {
    auto* key = new QAction(this);
    key->setObjectName(QString::fromLatin1(name));
    key->setShortcuts(keys);
    key->setShortcutContext(Qt::ApplicationShortcut);
    connect(key, &QAction::triggered, browser_, action);
    addAction(key);  // not on the menu bar, which holds the nine commands
}

void MainWindow::buildBrowserKeys() {
    addBrowserKey("goBack", QKeySequence::keyBindings(QKeySequence::Back), &BrowserPane::goBack);
    addBrowserKey("goForward", QKeySequence::keyBindings(QKeySequence::Forward),
                  &BrowserPane::goForward);
    addBrowserKey("findInPage", {QKeySequence::Find}, &BrowserPane::openFindBar);
    // Ctrl+= is Ctrl++ without the Shift that "+" needs on most keyboards.
    addBrowserKey("zoomIn",
                  {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)},
                  &BrowserPane::zoomIn);
    addBrowserKey("zoomOut", {QKeySequence(Qt::CTRL | Qt::Key_Minus)}, &BrowserPane::zoomOut);
    addBrowserKey("resetZoom", {QKeySequence(Qt::CTRL | Qt::Key_0)}, &BrowserPane::resetZoom);
}

void MainWindow::buildStatusLine() {
    statusBar()->setObjectName(QStringLiteral("statusLine"));
    catalogueStatus_ = new QLabel;
    catalogueStatus_->setObjectName(QStringLiteral("catalogueStatus"));
    // Covered by the hovered link's target while there is one.
    statusBar()->addWidget(catalogueStatus_, 1);
    connect(browser_, &BrowserPane::linkHovered, this, [this](const QString& target) {
        if (target.isEmpty()) {
            statusBar()->clearMessage();
        } else {
            statusBar()->showMessage(withBidiMarks(target));
        }
    });
    // A page's attempt to open something outside that the reader refused: said, not hidden.
    connect(browser_, &BrowserPane::linkBlocked, this, [this](const QString& url) {
        statusBar()->showMessage(QStringLiteral("Link not opened: ") + isolatedText(url),
                                 kBlockedLinkShownMs);
    });
}

void MainWindow::start() {
    run([this] { reader_->start(); });
    // After the session: a settings file that can't be read is reported there, once.
    run([this] { restoreView(); });
}

void MainWindow::shutdown() {
    if (shutDown_) {
        return;
    }
    shutDown_ = true;
    run([this] { reader_->shutdown(); });
    run([this] { storeView(); });
}

void MainWindow::restoreView() {
    const ViewSettings view = readViewSettings(services_.settings);
    if (view.zoomPercent) {
        browser_->setZoomPercent(*view.zoomPercent);
    }
    if (view.resultOrder) {
        bestFirst_->setChecked(*view.resultOrder == ResultOrder::BestFirst);
    }
    if (view.listWidth) {
        const int total = splitter_->sizes().value(0) + splitter_->sizes().value(1);
        splitter_->setSizes({*view.listWidth, std::max(total - *view.listWidth, 1)});
    }
}

void MainWindow::storeView() {
    writeViewSettings(services_.settings, {browser_->zoomPercent(), splitter_->sizes().value(0),
                                           reader_->resultOrder()});
}

void MainWindow::setCaption(const std::string& caption) {
    // "[*]" would be taken for the window's modified mark; doubled it shows as itself.
    setWindowTitle(shownText(caption).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]")));
}

void MainWindow::post(std::function<void()> task) {
    // Queued to this window: tasks still waiting when it goes are dropped with it.
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void MainWindow::run(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& error) {
        services_.dialogs.showError(error.what());
    }
}

void MainWindow::toggleFocus() {
    QWidget* focused = QApplication::focusWidget();
    if (focused == nullptr || !titlePane_->isAncestorOf(focused)) {
        // The title list, or quick find while it lies over the list.
        titlePane_->currentWidget()->setFocus(Qt::TabFocusReason);
    } else if (pageArea_->currentWidget() == resultPane_) {
        resultView_->setFocus(Qt::TabFocusReason);
    } else if (pageArea_->currentWidget() == bookmarkPane_) {
        bookmarkView_->setFocus(Qt::TabFocusReason);
    } else {
        browser_->view().setFocus(Qt::TabFocusReason);
    }
}

void MainWindow::showOverlays() {
    // The result list lies over the bookmark list, which lies over the page.
    if (results_->isVisible()) {
        const ResultHeading heading = resultHeading(reader_->searchRuns());
        resultPane_->setHeading(heading.text, heading.details);
        pageArea_->setCurrentWidget(resultPane_);
    } else if (bookmarks_->isVisible()) {
        pageArea_->setCurrentWidget(bookmarkPane_);
    } else {
        pageArea_->setCurrentWidget(browser_);
    }
}

void MainWindow::showBusy() {
    showOverlays();  // a search that starts names its text over the results
    for (QAction* action : longCommands_) {
        action->setEnabled(!reader_->busy());
    }
    fullSearch_->setEnabled(!reader_->busy() || reader_->searching());
    showCatalogueStatus();
}

void MainWindow::showCatalogueStatus() {
    // While a long command runs, the caption tells how far it has come.
    catalogueStatus_->setText(reader_->busy() ? QString() : shownText(reader_->catalogueStatus()));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // Every event of the application passes here: the type is the cheap test.
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::MouseButtonPress) {
        return QMainWindow::eventFilter(watched, event);
    }
    const auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != this) {
        return QMainWindow::eventFilter(watched, event);
    }
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
            !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            toggleFocus();
            return true;
        }
    } else if (event->type() == QEvent::MouseButtonPress && !browser_->holds(watched)) {
        // Over the page the engine takes the mouse's back and forward buttons itself.
        const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
        if (button == Qt::BackButton || button == Qt::ForwardButton) {
            button == Qt::BackButton ? browser_->goBack() : browser_->goForward();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    QtDialogs* dialogs = services_.modalDialogs;
    if (dialogs != nullptr && dialogs->running()) {
        // A box of ours is open inside a command: it answers as cancelled, the command ends, and
        // then the window closes.
        event->ignore();
        closeOnceBoxesReturn();
        return;
    }
    shutdown();
    if (dialogs != nullptr) {
        dialogs->closeAll();
    }
    event->accept();
}

void MainWindow::closeOnceBoxesReturn() {
    if (services_.modalDialogs != nullptr) {
        services_.modalDialogs->closeAll();
    }
    if (closePending_) {
        return;
    }
    closePending_ = true;
    // This runs inside the box's loop. The queued close may still be handled by that loop before
    // it returns; closeEvent then finds the box running and queues it once more.
    QMetaObject::invokeMethod(
        this,
        [this] {
            closePending_ = false;
            close();
        },
        Qt::QueuedConnection);
}

void MainWindow::openQuickFind(const QString& text) {
    titlePane_->setCurrentWidget(quickFind_);
    quickFind_->open(text);
}

}  // namespace pelmaro::app
