#include "app/overlay_pane.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QShortcut>
#include <QVBoxLayout>

namespace pelmaro::app {

OverlayPane::OverlayPane(ByteListModel& model, const QString& emptyText, QWidget* parent)
    : QWidget(parent), model_(model) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    heading_ = new QLabel;
    heading_->setObjectName(QStringLiteral("heading"));
    QFont bold = heading_->font();
    bold.setBold(true);
    heading_->setFont(bold);
    heading_->setTextFormat(Qt::PlainText);
    empty_ = new QLabel(emptyText);
    empty_->setObjectName(QStringLiteral("emptyLine"));
    empty_->setWordWrap(true);
    view_ = new EntryListView(model);
    headingRow_ = new QHBoxLayout;
    headingRow_->addWidget(heading_, 1);
    layout->addLayout(headingRow_);
    layout->addWidget(empty_);
    layout->addWidget(view_, 1);
    connect(&model, &QAbstractItemModel::modelReset, this, &OverlayPane::showWhetherEmpty);
    connect(&model, &QAbstractItemModel::rowsInserted, this, &OverlayPane::showWhetherEmpty);
    connect(&model, &QAbstractItemModel::rowsRemoved, this, &OverlayPane::showWhetherEmpty);
    showWhetherEmpty();
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    close->setContext(Qt::WidgetWithChildrenShortcut);
    connect(close, &QShortcut::activated, this, [this] { model_.setVisible(false); });
}

void OverlayPane::addHeadingControl(QWidget* control) {
    headingRow_->addWidget(control, 0, Qt::AlignTop);
}

void OverlayPane::setHeading(const QString& heading, const QString& details) {
    heading_->setText(heading);
    heading_->setToolTip(details);
}

void OverlayPane::setEmptyText(const QString& text) {
    empty_->setText(text);
    showWhetherEmpty();
}

void OverlayPane::showWhetherEmpty() {
    empty_->setVisible(model_.count() == 0 && !empty_->text().isEmpty());
}

}  // namespace pelmaro::app
