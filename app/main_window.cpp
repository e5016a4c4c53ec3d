#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
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
#include "app/dark_mode.h"
#include "app/engine_flags.h"
#include "app/overlay_pane.h"
#include "app/page_printing.h"
#include "app/page_tabs.h"
#include "app/qt_text.h"
#include "app/quick_find_panel.h"
#include "app/result_rows.h"
#include "app/start_page.h"
#include "reader/open_tabs.h"
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
    buildPageCommands();
    buildTabKeys();
    buildStatusLine();
    reader_ = std::make_unique<Reader>(
        ReaderServices{*titles_, *paths_, *bookmarks_, *results_, *this, services_.dialogs,
                       services_.files, services_.settings, *tabs_, *fullSearchLabel_, *this});
    reader_->setOnBusyChanged([this] { showBusy(); });
    reader_->setOnTitlesIndexed([this] { quickFind_->refresh(); });
    reader_->setOnSearchIndexChanged([this] { showCatalogueStatus(); });
    reader_->setOnCatalogueChanged([this] {
        showCatalogueStatus();
        keysAsked_ = false;
        showRecentCatalogues();
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
    tabs_ = new PageTabs;
    bookmarkPane_ = new OverlayPane(
        *bookmarks_,
        QStringLiteral("No bookmarks yet. New bookmark (F6) adds the selected title."));
    bookmarkPane_->setHeading(QStringLiteral("Bookmarks"));
    resultPane_ = new OverlayPane(*results_, QString());
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
    // The same switch in the results' own menu (the menu key, Shift+F10, a right click): Tab
    // leaves the results for the title list, and never reaches the box.
    auto* bestFirstChoice = new QAction(bestFirst_->text(), resultView_);
    bestFirstChoice->setObjectName(QStringLiteral("bestFirstChoice"));
    bestFirstChoice->setCheckable(true);
    bestFirstChoice->setChecked(bestFirst_->isChecked());
    connect(bestFirstChoice, &QAction::toggled, bestFirst_, &QCheckBox::setChecked);
    connect(bestFirst_, &QCheckBox::toggled, bestFirstChoice, &QAction::setChecked);
    resultView_->addAction(bestFirstChoice);
    resultView_->setContextMenuPolicy(Qt::ActionsContextMenu);
    pageArea_->addWidget(tabs_);
    startPage_ = new StartPage;
    pageArea_->addWidget(startPage_);
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
    setTabOrder(titleView_, tabs_);

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
    connect(contents_, &ContentsPanel::headingChosen, this,
            [this](int heading) { browser().scrollToHeading(heading); });
    connect(contents_, &ContentsPanel::leaveOutWanted, this, [this](const std::string& folder) {
        run([this, folder] { reader_->leaveFolderOut(folder); });
    });
    connect(contents_, &ContentsPanel::bringBackWanted, this,
            [this] { run([this] { reader_->bringBackLeftOut(); }); });
    // The start page: a folder to build, a recent catalogue to open or forget; picking a title
    // takes it away.
    connect(startPage_, &StartPage::folderWanted, this,
            [this] { run([this] { reader_->buildFromFolder(); }); });
    connect(startPage_, &StartPage::recentChosen, this, [this](const std::string& pathFile) {
        run([this, pathFile] { reader_->openCatalogue(pathFile); });
    });
    connect(startPage_, &StartPage::recentRemoved, this,
            [this](const std::string& pathFile) { reader_->forgetRecent(pathFile); });
    const auto leaveKeys = [this] {
        if (keysAsked_) {
            keysAsked_ = false;
            showOverlays();
        }
    };
    connect(titleView_, &EntryListView::userSelectionChanged, this, leaveKeys);
    connect(titleView_, &QAbstractItemView::clicked, this, leaveKeys);
    connect(tabs_, &PageTabs::fileShown, this, leaveKeys);
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
    connect(tabs_, &PageTabs::fileShown, this,
            [this](const std::string& fileName) { reader_->pageShown(fileName); });
    connect(tabs_, &PageTabs::documentLeft, this, [this] { reader_->pageLeft(); });
    connect(tabs_, &PageTabs::fileShown, this, [this] {
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
    auto* keys = new QAction(QStringLiteral("Keys"), this);
    keys->setObjectName(QStringLiteral("showKeys"));
    keys->setShortcut(QKeySequence(Qt::Key_F1));
    keys->setShortcutContext(Qt::ApplicationShortcut);
    connect(keys, &QAction::triggered, this, [this] {
        keysAsked_ = !keysAsked_;
        showRecentCatalogues();
        showOverlays();
        if (pageArea_->currentWidget() == startPage_) {
            startPage_->setFocus(Qt::OtherFocusReason);
        }
    });
    addAction(keys);
    longCommands_ = {build, open};
}

void MainWindow::showRecentCatalogues() {
    std::vector<StartPage::Recent> recent;
    for (const Reader::RecentCatalogue& catalogue : reader_->recentCatalogues()) {
        recent.push_back({catalogue.pathFile, catalogue.exists});
    }
    startPage_->setRecent(recent);
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
    browser().readHeadings([this, entry](const QStringList& headings) {
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
    connect(key, &QAction::triggered, this, [this, action] { (browser().*action)(); });
    addAction(key);  // not on the menu bar, which holds the nine commands
}

void MainWindow::buildPageCommands() {
    printing_ = new PagePrinting([this] { return &browser().view(); }, services_.dialogs,
                                 [this](QDialog& dialog) {
                                     return services_.modalDialogs != nullptr
                                                ? services_.modalDialogs->runDialog(dialog)
                                                : int(QDialog::Rejected);
                                 },
                                 this);
    darkMode_ = new DarkMode(std::nullopt, pagesDarkened(), this);
    const auto command = [this](const char* name, const QString& label, const QKeySequence& key) {
        auto* action = new QAction(label, this);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(key);
        action->setShortcutContext(Qt::ApplicationShortcut);
        addAction(action);  // not on the menu bar, which holds the nine commands
        return action;
    };
    QAction* print = command("printPage", QStringLiteral("&Print\u2026"), QKeySequence::Print);
    connect(print, &QAction::triggered, printing_, &PagePrinting::print);
    QAction* savePdf = command("savePdf", QStringLiteral("Save as PDF"),
                               QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    connect(savePdf, &QAction::triggered, printing_, &PagePrinting::saveAsPdf);
    QAction* dark = command("darkMode", QStringLiteral("Dar&k mode"),
                            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));
    dark->setCheckable(true);
    dark->setChecked(darkMode_->dark());
    connect(dark, &QAction::triggered, darkMode_, &DarkMode::toggle);
    connect(darkMode_, &DarkMode::changed, this, [this, dark](bool isDark, const QString& note) {
        dark->setChecked(isDark);
        if (!note.isEmpty()) {
            statusBar()->showMessage(note, kBlockedLinkShownMs);
        }
    });
    connect(printing_, &PagePrinting::reported, this,
            [this](const QString& text) { statusBar()->showMessage(text, kBlockedLinkShownMs); });
    tabs_->setPageCommands({print, savePdf, dark});
}

BrowserPane& MainWindow::browser() const {
    return tabs_->current();
}

void MainWindow::buildTabKeys() {
    const auto key = [this](const char* name, const QList<QKeySequence>& keys,
                            std::function<void()> action) {
        auto* shortcut = new QAction(this);
        shortcut->setObjectName(QString::fromLatin1(name));
        shortcut->setShortcuts(keys);
        shortcut->setShortcutContext(Qt::ApplicationShortcut);
        connect(shortcut, &QAction::triggered, this, std::move(action));
        addAction(shortcut);
    };
    key("newTab", {QKeySequence(Qt::CTRL | Qt::Key_T)}, [this] {
        tabs_->openTab();
        run([this] { reader_->showSelectedPage(); });
    });
    key("closeTab", {QKeySequence(Qt::CTRL | Qt::Key_W)}, [this] { tabs_->closeCurrent(); });
    key("reopenTab", {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T)},
        [this] { tabs_->reopenClosed(); });
    key("nextTab",
        {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)},
        [this] { tabs_->selectNext(); });
    key("previousTab",
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageUp)},
        [this] { tabs_->selectPrevious(); });
    for (int tab = 1; tab <= 9; ++tab) {
        // Ctrl+9 is the last tab, as in browsers.
        key(QStringLiteral("tab%1").arg(tab).toLatin1().constData(),
            {QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_0 + tab))},
            [this, tab] { tabs_->select(tab == 9 ? tabs_->count() - 1 : tab - 1); });
    }
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
    connect(tabs_, &PageTabs::linkHovered, this, [this](const QString& target) {
        if (target.isEmpty()) {
            statusBar()->clearMessage();
        } else {
            statusBar()->showMessage(withBidiMarks(target));
        }
    });
    // A page's attempt to open something outside that the reader refused: said, not hidden.
    connect(tabs_, &PageTabs::linkBlocked, this, [this](const QString& url) {
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
        browser().setZoomPercent(*view.zoomPercent);
    }
    darkMode_->restoreChoice(view.darkMode);
    tabs_->restore(readOpenTabs(services_.settings));
    if (view.resultOrder) {
        bestFirst_->setChecked(*view.resultOrder == ResultOrder::BestFirst);
    }
    if (view.listWidth) {
        const int total = splitter_->sizes().value(0) + splitter_->sizes().value(1);
        splitter_->setSizes({*view.listWidth, std::max(total - *view.listWidth, 1)});
    }
}

void MainWindow::storeView() {
    writeViewSettings(services_.settings, {browser().zoomPercent(), splitter_->sizes().value(0),
                                           darkMode_->choice(), reader_->resultOrder()});
    writeOpenTabs(services_.settings, tabs_->state());
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
        browser().view().setFocus(Qt::TabFocusReason);
    }
}

void MainWindow::showOverlays() {
    QWidget* const before = pageArea_->currentWidget();
    const bool overlayFocused = (before == resultPane_ || before == bookmarkPane_) &&
                                before->isAncestorOf(QApplication::focusWidget());
    // The result list lies over the bookmark list, which lies over the page.
    if (results_->isVisible()) {
        const ResultHeading heading = resultHeading(reader_->searchRuns());
        resultPane_->setHeading(heading.text, heading.details);
        // Nothing is said of a text still being asked for, nor too early of one being searched.
        resultPane_->setEmptyText(reader_->searchRuns().empty() ? QString()
                                  : reader_->searching()
                                      ? QStringLiteral("Searching\u2026")
                                      : QStringLiteral("No page holds the text."));
        pageArea_->setCurrentWidget(resultPane_);
    } else if (bookmarks_->isVisible()) {
        pageArea_->setCurrentWidget(bookmarkPane_);
    } else if (keysAsked_ || titles_->count() == 0) {
        pageArea_->setCurrentWidget(startPage_);
    } else {
        pageArea_->setCurrentWidget(tabs_);
    }
    // A list that comes over the page takes the keys (the arrows, Enter), and hands them back to
    // the title list when it goes.
    QWidget* const now = pageArea_->currentWidget();
    if (now == before) {
        return;
    }
    if (now == resultPane_) {
        resultView_->setFocus(Qt::OtherFocusReason);
    } else if (now == bookmarkPane_) {
        bookmarkView_->setFocus(Qt::OtherFocusReason);
    } else if (overlayFocused) {
        titlePane_->currentWidget()->setFocus(Qt::OtherFocusReason);
    }
}

void MainWindow::showBusy() {
    // A search that starts adds its rows under those of the searches before it: the view goes
    // to them, and Enter to its first.
    if (reader_->searching() && !searchShown_ && !reader_->searchRuns().empty()) {
        resultView_->setLeadRow(reader_->searchRuns().back().firstRow);
    }
    searchShown_ = reader_->searching();
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
    } else if (event->type() == QEvent::MouseButtonPress && !tabs_->holds(watched)) {
        // Over the page the engine takes the mouse's back and forward buttons itself.
        const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
        if (button == Qt::BackButton || button == Qt::ForwardButton) {
            button == Qt::BackButton ? browser().goBack() : browser().goForward();
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
