#include "app/quick_find_panel.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include "app/qt_text.h"

namespace pelmaro::app {

QuickFindPanel::QuickFindPanel(Finder finder, TitleOf titleOf, QWidget* parent)
    : QWidget(parent), finder_(std::move(finder)), titleOf_(std::move(titleOf)) {
    setObjectName(QStringLiteral("quickFind"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    filter_ = new QLineEdit;
    filter_->setObjectName(QStringLiteral("quickFindFilter"));
    filter_->setPlaceholderText(QStringLiteral("Find a title"));
    filter_->setClearButtonEnabled(true);
    matches_ = new QListWidget;
    matches_->setObjectName(QStringLiteral("quickFindMatches"));
    matches_->setUniformItemSizes(true);
    matches_->setFocusPolicy(Qt::NoFocus);  // the keys stay in the filter
    summary_ = new QLabel;
    summary_->setObjectName(QStringLiteral("quickFindSummary"));
    layout->addWidget(filter_);
    layout->addWidget(matches_, 1);
    layout->addWidget(summary_);
    filter_->installEventFilter(this);
    setFocusProxy(filter_);  // Tab from the page comes back to the filter
    connect(filter_, &QLineEdit::textEdited, this, &QuickFindPanel::find);
    connect(matches_, &QListWidget::itemActivated, this, &QuickFindPanel::choose);
}

void QuickFindPanel::open(const QString& text) {
    filter_->setText(text);
    filter_->setFocus(Qt::ShortcutFocusReason);
    find();
}

void QuickFindPanel::refresh() {
    if (isVisible()) {
        find();
    }
}

void QuickFindPanel::find() {
    matches_->clear();
    const std::string query = toBytes(filter_->text());
    if (query.empty()) {
        summary_->clear();
        return;
    }
    const std::optional<QuickFindResult> result = finder_(query);
    if (!result) {
        summary_->setText(QStringLiteral("Reading the titles\u2026"));
        return;
    }
    for (const QuickFindHit& hit : result->hits) {
        auto* item = new QListWidgetItem(shownText(titleOf_(hit.entry)), matches_);
        item->setData(Qt::UserRole, hit.entry);
    }
    if (matches_->count() > 0) {
        matches_->setCurrentRow(0);
    }
    summary_->setText(
        result->total == 0 ? QStringLiteral("No title matches")
        : result->total > result->hits.size()
            ? QStringLiteral("%1 of %2 titles").arg(result->hits.size()).arg(result->total)
        : result->total == 1 ? QStringLiteral("1 title")
                             : QStringLiteral("%1 titles").arg(result->total));
}

void QuickFindPanel::move(int step) {
    const int row = matches_->currentRow() + step;
    if (row >= 0 && row < matches_->count()) {
        matches_->setCurrentRow(row);
    }
}

void QuickFindPanel::choose() {
    const QListWidgetItem* item = matches_->currentItem();
    if (item == nullptr) {
        return;
    }
    const int entry = item->data(Qt::UserRole).toInt();
    close();
    emit entryChosen(entry);
}

void QuickFindPanel::close() {
    filter_->clear();
    matches_->clear();
    emit closed();
}

bool QuickFindPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == filter_ && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
            case Qt::Key_Up:
                move(-1);
                return true;
            case Qt::Key_Down:
                move(1);
                return true;
            case Qt::Key_PageUp:
                move(-10);
                return true;
            case Qt::Key_PageDown:
                move(10);
                return true;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                choose();
                return true;
            case Qt::Key_Escape:
                close();
                return true;
            default:
                break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace pelmaro::app
