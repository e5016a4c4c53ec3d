#include "app/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStackedLayout>
#include <QWebEngineView>
#include <exception>

#include "app/page_view.h"
#include "app/window_text.h"
#include "bookmarks/bookmarks.h"
#include "catalogue/catalogue_builder.h"
#include "catalogue/line_list.h"
#include "catalogue/session_state.h"
#include "platform/error.h"
#include "search/full_text_search.h"
#include "search/title_search.h"

namespace pelmaro::app {

namespace {

QString fromBytes(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

constexpr int kTitleListWidth = 121;
constexpr int kSplitterWidth = 16;

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
    labels = placeAccessKeys(labels);
    for (std::size_t i = 0; i < actions_.size(); ++i) {
        const QString text = fromBytes(labels[i]);
        if (actions_[i]->text() != text) {
            actions_[i]->setText(text);
        }
    }
}

std::string MenuCommands::label(const QAction* action) {
    return action->text().toUtf8().toStdString();
}

TForm1::TForm1(FormServices services, QWidget* parent)
    : QMainWindow(parent),
      services_(std::move(services)),
      title_(fromBytes(applicationTitle(
          QFile::encodeName(QFileInfo(QCoreApplication::applicationFilePath()).fileName())
              .toStdString()))) {
    if (!services_.runModal) {
        services_.runModal = runModally;
    }
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Pelmaro 1.0"));
    setGeometry(176, 114, 552, 378);  // the size it has when not maximized

    buildControls();
    buildMenu();

    const Catalogue catalogue{*listBox1_, *listBox2_};
    builder_ = std::make_unique<CatalogueBuilder>(catalogue, current_, *this, services_.dialogs,
                                                  services_.files, gate_);
    session_ = std::make_unique<SessionState>(catalogue, current_, services_.settings,
                                              services_.dialogs, services_.files, gate_);
    titleSearch_ =
        std::make_unique<TitleSearch>(*listBox1_, services_.dialogs, [this] { ListBox1Click(); });
    fullSearch_ =
        std::make_unique<FullTextSearch>(catalogue, *listBox4_, *listBox3_, *fullSearchLabel_,
                                         *this, services_.dialogs, services_.files, gate_);
    bookmarks_ = std::make_unique<Bookmarks>(*listBox1_, *listBox3_, *listBox4_, current_,
                                             services_.dialogs, services_.files);
    current_.switched = [this] { bookmarks_->switchCatalogue(); };
}

TForm1::~TForm1() {
    bookmarks_.reset();
    fullSearch_.reset();
    titleSearch_.reset();
    session_.reset();
    builder_.reset();
    pageView_.reset();
    // The views go before the list controls they show.
    delete takeCentralWidget();
}

void TForm1::buildControls() {
    listBox1_ = new QtListControl(true, this);
    listBox2_ = new QtListControl(false, this);
    listBox3_ = new QtListControl(false, this);
    listBox4_ = new QtListControl(false, this);
    listBox1_->setObjectName(QStringLiteral("ListBox1"));
    listBox2_->setObjectName(QStringLiteral("ListBox2"));  // the paths: never shown
    listBox3_->setObjectName(QStringLiteral("ListBox3"));
    listBox4_->setObjectName(QStringLiteral("ListBox4"));

    splitter_ = new QSplitter(Qt::Horizontal);
    splitter_->setObjectName(QStringLiteral("Splitter1"));
    splitter_->setHandleWidth(kSplitterWidth);

    titleView_ = new ListBox(*listBox1_);
    titleView_->setObjectName(QStringLiteral("ListBox1"));
    // A drag to a sliver shuts the list rather than leaving an unreadable strip.
    titleView_->setMinimumWidth(60);
    splitter_->addWidget(titleView_);

    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("PageArea"));
    pageArea_ = new QStackedLayout(page);
    pageArea_->setContentsMargins(0, 0, 0, 0);
    browser_ = new QWebEngineView;
    browser_->setObjectName(QStringLiteral("WebBrowser1"));
    bookmarkView_ = new ListBox(*listBox3_);
    bookmarkView_->setObjectName(QStringLiteral("ListBox3"));
    resultView_ = new ListBox(*listBox4_);
    resultView_->setObjectName(QStringLiteral("ListBox4"));
    pageArea_->addWidget(browser_);
    pageArea_->addWidget(bookmarkView_);
    pageArea_->addWidget(resultView_);
    page->setMinimumWidth(30);
    splitter_->addWidget(page);

    splitter_->setCollapsible(0, true);
    splitter_->setCollapsible(1, false);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({kTitleListWidth, width() - kTitleListWidth - kSplitterWidth});
    setCentralWidget(splitter_);
    setTabOrder(titleView_, browser_);

    pageView_ = std::make_unique<WebPageView>(*browser_);

    connect(titleView_, &ListBox::userSelectionChanged, this,
            [this] { runHandler([this] { ListBox1Click(); }); });
    connect(bookmarkView_, &ListBox::listDoubleClicked, this,
            [this] { runHandler([this] { ListBox3DblClick(); }); });
    connect(resultView_, &ListBox::listDoubleClicked, this,
            [this] { runHandler([this] { ListBox4DblClick(); }); });
    connect(listBox3_, &QtListControl::visibilityChanged, this, &TForm1::showOverlays);
    connect(listBox4_, &QtListControl::visibilityChanged, this, &TForm1::showOverlays);
}

QAction* TForm1::addCommand(const char* name, const char* label, Qt::Key key,
                            void (TForm1::*handler)()) {
    auto* action = new QAction(QString::fromLatin1(label), this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(QKeySequence(key));
    // The keys work wherever the focus is, the page view included.
    action->setShortcutContext(Qt::ApplicationShortcut);
    connect(action, &QAction::triggered, this,
            [this, handler] { runHandler([this, handler] { (this->*handler)(); }); });
    menuBar()->addAction(action);
    commands_.add(action);
    return action;
}

void TForm1::buildMenu() {
    menuBar()->setObjectName(QStringLiteral("MainMenu1"));
    addCommand("Path1", "Path", Qt::Key_F2, &TForm1::Path1Click);
    addCommand("Search1", "Search", Qt::Key_F3, &TForm1::Search1Click);
    addCommand("NewSearch1", "New Search", Qt::Key_F4, &TForm1::NewSearch1Click);
    addCommand("Bookmark1", "Bookmark", Qt::Key_F8, &TForm1::Bookmark1Click);
    addCommand("AddNewbookmark1", "New bookmark", Qt::Key_F6, &TForm1::AddNewbookmark1Click);
    addCommand("DeleteBookmark1", "Delete Bookmark", Qt::Key_F7, &TForm1::DeleteBookmark1Click);
    addCommand("Open1", "Open", Qt::Key_F9, &TForm1::Open1Click);
    addCommand("Result1", "Result", Qt::Key_F10, &TForm1::Result1Click);
    QAction* fullSearch =
        addCommand("Fullsearch1", "Full search", Qt::Key_F11, &TForm1::Fullsearch1Click);
    fullSearchLabel_ = std::make_unique<MenuItemLabel>(commands_, fullSearch);
}

void TForm1::FormCreate() {
    if (started_) {
        return;
    }
    started_ = true;
    FocusState = 1;
    runHandler([this] {
        session_->restore([this] { ListBox1Click(); });
        bookmarks_->load();
    });
}

void TForm1::FormDestroy() {
    if (shutDown_) {
        return;
    }
    shutDown_ = true;
    runHandler([this] {
        session_->save();
        bookmarks_->shutdown();
    });
}

void TForm1::setStatus(const std::string& caption) {
    // "[*]" would be taken for the window's modified mark; doubled it shows as itself.
    setWindowTitle(fromBytes(caption).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]")));
}

void TForm1::processPendingMessages() {
    QCoreApplication::processEvents();
}

void TForm1::Path1Click() {
    builder_->Path1Click();
}
void TForm1::Search1Click() {
    titleSearch_->Search1Click();
}
void TForm1::NewSearch1Click() {
    titleSearch_->NewSearch1Click();
}
void TForm1::Bookmark1Click() {
    bookmarks_->Bookmark1Click();
}
void TForm1::AddNewbookmark1Click() {
    bookmarks_->AddNewbookmark1Click();
}
void TForm1::DeleteBookmark1Click() {
    bookmarks_->DeleteBookmark1Click();
}
void TForm1::Open1Click() {
    session_->Open1Click();
}
void TForm1::Result1Click() {
    fullSearch_->Result1Click();
}
void TForm1::Fullsearch1Click() {
    fullSearch_->Fullsearch1Click();
}

void TForm1::ListBox1Click() {
    if (listBox1_->count() == 0) {
        return;
    }
    const int selected = listBox1_->selectedIndex();
    if (selected < 0) {
        return;  // a search that found nothing leaves no entry selected
    }
    pageView_->navigate(std::string(listBox2_->item(selected)));
}

void TForm1::ListBox3DblClick() {
    jumpFrom(*listBox3_);
}

void TForm1::ListBox4DblClick() {
    jumpFrom(*listBox4_);
}

void TForm1::jumpFrom(QtListControl& overlay) {
    if (listBox1_->count() == 0 || !overlay.isVisible()) {
        return;
    }
    if (overlay.count() > 0) {
        const int index = readEntryReference(overlay.item(overlay.selectedIndex()));
        listBox1_->select(index);
        ListBox1Click();
    }
    overlay.setVisible(false);
}

void TForm1::FormKeyDown(int key) {
    if (key != Qt::Key_Tab && key != Qt::Key_Backtab) {
        return;
    }
    if (FocusState == 1) {
        FocusState = 2;
        titleView_->setFocus(Qt::TabFocusReason);
    } else {
        FocusState = 1;
        browser_->setFocus(Qt::TabFocusReason);
    }
}

void TForm1::showOverlays() {
    // The result list lies over the bookmark list, which lies over the page.
    if (listBox4_->isVisible()) {
        pageArea_->setCurrentWidget(resultView_);
    } else if (listBox3_->isVisible()) {
        pageArea_->setCurrentWidget(bookmarkView_);
    } else {
        pageArea_->setCurrentWidget(browser_);
    }
}

void TForm1::runHandler(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        showError(error.what());
    }
    if (closeRequested_ && !shutDown_ && !gate_.busy()) {
        close();  // the user closed the window while a long command ran; it has ended now
    }
}

void TForm1::showError(const std::string& message) {
    QMessageBox box(QMessageBox::Critical, title_, fromBytes(withClosingPeriod(message)),
                    QMessageBox::Ok, this);
    services_.runModal(box);
}

bool TForm1::event(QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
            !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            FormKeyDown(key->key());
            return true;
        }
    }
    return QMainWindow::event(event);
}

void TForm1::closeEvent(QCloseEvent* event) {
    closeRequested_ = true;
    if (gate_.busy()) {
        // A long command lets events run from its loop; it sees the request and ends first.
        event->ignore();
        return;
    }
    FormDestroy();
    event->accept();
}

}  // namespace pelmaro::app
