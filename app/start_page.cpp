#include "app/start_page.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/qt_text.h"

namespace pelmaro::app {

namespace {

constexpr int kPathRole = Qt::UserRole;

// The keys, as the menu and the README name their commands.
constexpr const char* kKeys[][2] = {
    {"F2", "Path: pick a folder and build its catalogue"},
    {"F9", "Open a stored catalogue"},
    {"F3, F4", "Search titles: the next one, or from the top with a new text"},
    {"Ctrl+K", "Quick find among the titles (or start typing in the list)"},
    {"Alt+C, Alt+I", "The contents as the folders hold them; the title list again"},
    {"F11", "Full search of every page's text; F11 again stops it"},
    {"F10", "Show or hide the full search's results"},
    {"F6, F7, F8", "Bookmark the page, delete a bookmark, show or hide the bookmarks"},
    {"Alt+Left, Alt+Right", "Back and forward"},
    {"Ctrl+F", "Find in the page"},
    {"Ctrl+plus, Ctrl+minus, Ctrl+0", "Zoom in, out, back to 100%"},
    {"Tab", "Between the list and the page"},
    {"F1", "This page, and back to the page"},
};

QString keysTable() {
    QString rows;
    for (const auto& key : kKeys) {
        rows += QStringLiteral("<tr><td style='padding-right: 16px'><b>%1</b></td><td>%2</td></tr>")
                    .arg(QString::fromUtf8(key[0]).toHtmlEscaped(),
                         QString::fromUtf8(key[1]).toHtmlEscaped());
    }
    return QStringLiteral("<table>%1</table>").arg(rows);
}

}  // namespace

StartPage::StartPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("startPage"));
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(12);

    auto* heading = new QLabel(QStringLiteral("<h2>Pelmaro</h2>"));
    heading->setTextFormat(Qt::RichText);
    auto* intro = new QLabel(QStringLiteral(
        "Point Pelmaro at a folder of web pages, images and text files: it lists every page by "
        "its title, shows it beside the list, and searches the titles and the text of all of "
        "them."));
    intro->setWordWrap(true);
    intro->setTextFormat(Qt::PlainText);
    pickFolder_ = new QPushButton(QStringLiteral("Choose a folder\u2026"));
    pickFolder_->setObjectName(QStringLiteral("pickFolder"));
    connect(pickFolder_, &QPushButton::clicked, this, &StartPage::folderWanted);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(pickFolder_);
    buttonRow->addStretch(1);

    auto* recentHeading = new QLabel(QStringLiteral("<b>Recent catalogues</b>"));
    recentHeading->setTextFormat(Qt::RichText);
    recent_ = new QListWidget;
    recent_->setObjectName(QStringLiteral("recentCatalogues"));
    recent_->setMaximumHeight(220);
    recentHeading->setBuddy(recent_);
    connect(recent_, &QListWidget::itemActivated, this, [this] { chooseCurrent(); });
    recent_->installEventFilter(this);
    remove_ = new QPushButton(QStringLiteral("Remove from the list"));
    remove_->setObjectName(QStringLiteral("removeRecent"));
    connect(remove_, &QPushButton::clicked, this, &StartPage::removeCurrent);
    auto* removeRow = new QHBoxLayout;
    removeRow->addWidget(remove_);
    removeRow->addStretch(1);

    auto* keysHeading = new QLabel(QStringLiteral("<b>Keys</b>"));
    keysHeading->setTextFormat(Qt::RichText);
    auto* keys = new QLabel(keysTable());
    keys->setTextFormat(Qt::RichText);

    layout->addWidget(heading);
    layout->addWidget(intro);
    layout->addLayout(buttonRow);
    layout->addWidget(recentHeading);
    layout->addWidget(recent_);
    layout->addLayout(removeRow);
    layout->addWidget(keysHeading);
    layout->addWidget(keys);
    layout->addStretch(1);

    auto* scroll = new QScrollArea;
    scroll->setWidget(content);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
    setFocusProxy(recent_);
    setRecent({});
}

void StartPage::setRecent(const std::vector<Recent>& recent) {
    recent_->clear();
    for (const Recent& catalogue : recent) {
        QString text = shownText(catalogue.pathFile);
        if (!catalogue.exists) {
            text += QStringLiteral("  (no longer there)");
        }
        auto* item = new QListWidgetItem(text, recent_);
        item->setData(kPathRole, QByteArray::fromStdString(catalogue.pathFile));
        if (!catalogue.exists) {
            item->setForeground(palette().brush(QPalette::Disabled, QPalette::Text));
        }
    }
    if (recent.empty()) {
        auto* none = new QListWidgetItem(QStringLiteral("None yet"), recent_);
        none->setFlags(Qt::NoItemFlags);
    } else {
        recent_->setCurrentRow(0);
    }
    remove_->setEnabled(!recent.empty());
}

void StartPage::chooseCurrent() {
    const QListWidgetItem* item = recent_->currentItem();
    if (item != nullptr && item->data(kPathRole).isValid()) {
        emit recentChosen(item->data(kPathRole).toByteArray().toStdString());
    }
}

void StartPage::removeCurrent() {
    const QListWidgetItem* item = recent_->currentItem();
    if (item != nullptr && item->data(kPathRole).isValid()) {
        emit recentRemoved(item->data(kPathRole).toByteArray().toStdString());
    }
}

bool StartPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == recent_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        removeCurrent();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace pelmaro::app
