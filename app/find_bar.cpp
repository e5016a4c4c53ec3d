#include "app/find_bar.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace pelmaro::app {

namespace {

QToolButton* addButton(QHBoxLayout& layout, const QString& name, const QString& toolTip) {
    auto* button = new QToolButton;
    button->setObjectName(name);
    button->setToolTip(toolTip);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    layout.addWidget(button);
    return button;
}

}  // namespace

FindBar::FindBar(QWebEngineView& view, QWidget* parent) : QWidget(parent), view_(view) {
    setObjectName(QStringLiteral("findBar"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);

    text_ = new QLineEdit;
    text_->setObjectName(QStringLiteral("findText"));
    text_->setPlaceholderText(QStringLiteral("Find in page"));
    text_->setClearButtonEnabled(true);
    text_->installEventFilter(this);
    layout->addWidget(text_, 1);

    QToolButton* previous = addButton(*layout, QStringLiteral("findPrevious"),
                                      QStringLiteral("Previous (Shift+Enter)"));
    previous->setArrowType(Qt::UpArrow);
    QToolButton* next =
        addButton(*layout, QStringLiteral("findNext"), QStringLiteral("Next (Enter)"));
    next->setArrowType(Qt::DownArrow);

    count_ = new QLabel;
    count_->setObjectName(QStringLiteral("findCount"));
    count_->setMinimumWidth(
        count_->fontMetrics().horizontalAdvance(QStringLiteral("9999 of 9999")));
    layout->addWidget(count_);

    QToolButton* close =
        addButton(*layout, QStringLiteral("findClose"), QStringLiteral("Close (Esc)"));
    close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));

    connect(text_, &QLineEdit::textChanged, this, [this] { search(false); });
    connect(previous, &QToolButton::clicked, this, [this] { search(true); });
    connect(next, &QToolButton::clicked, this, [this] { search(false); });
    connect(close, &QToolButton::clicked, this, &FindBar::closeBar);
    attachPage();
    hide();
}

void FindBar::attachPage() {
    connect(view_.page(), &QWebEnginePage::findTextFinished, this, &FindBar::showResult,
            Qt::UniqueConnection);
}

void FindBar::open() {
    show();
    text_->setFocus(Qt::ShortcutFocusReason);
    text_->selectAll();
}

void FindBar::find(const QString& text) {
    show();
    if (text_->text() == text) {
        search(false);
    } else {
        text_->setText(text);  // searches
    }
}

void FindBar::findAgain() {
    if (isVisible() && !text_->text().isEmpty()) {
        search(false);
    }
}

void FindBar::closeBar() {
    const bool hadFocus = isAncestorOf(QApplication::focusWidget());
    hide();
    view_.page()->findText(QString());  // takes the highlights away
    if (hadFocus) {
        view_.setFocus(Qt::OtherFocusReason);
    }
}

void FindBar::search(bool backward) {
    const QString text = text_->text();
    if (text.isEmpty()) {
        view_.page()->findText(QString());
        count_->clear();
        text_->setStyleSheet(QString());
        return;
    }
    view_.page()->findText(text,
                           backward ? QWebEnginePage::FindBackward : QWebEnginePage::FindFlags());
}

void FindBar::showResult(const QWebEngineFindTextResult& result) {
    if (text_->text().isEmpty()) {
        return;  // the answer to clearing the highlights
    }
    const bool found = result.numberOfMatches() > 0;
    count_->setText(
        found ? QStringLiteral("%1 of %2").arg(result.activeMatch()).arg(result.numberOfMatches())
              : QStringLiteral("not found"));
    text_->setStyleSheet(found ? QString() : QStringLiteral("QLineEdit { background: #fbdada; }"));
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == text_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            closeBar();
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            search(key->modifiers().testFlag(Qt::ShiftModifier));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace pelmaro::app
