#include "app/result_rows.h"

#include <QApplication>
#include <QPainter>

#include "app/qt_text.h"

namespace pelmaro::app {
namespace {

constexpr int kMargin = 3;

}  // namespace

QString resultRowText(const std::string& title, const std::string& folder,
                      const ContextLine& context) {
    QString text = shownText(title);
    if (!folder.empty()) {
        text += QStringLiteral(" \u2014 ") + shownText(folder);
    }
    if (!context.text.empty()) {
        text += QLatin1Char('\n') + shownText(context.text);
    }
    return text;
}

ResultRowDelegate::ResultRowDelegate(Context context, QObject* parent)
    : QStyledItemDelegate(parent), context_(std::move(context)) {}

void ResultRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QString shown = item.text;
    item.text.clear();
    const QStyle* style = item.widget ? item.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, item.widget);

    const ContextLine& context = context_(index.row());
    // The title (and folder) is the first line (the delegate's text has the line break as
    // U+2028); the context may have been made after the row's text was, so that text need not
    // hold it yet.
    QString title = shown.section(QChar::LineSeparator, 0, 0);
    title = title.section(QLatin1Char('\n'), 0, 0);
    const bool selected = item.state.testFlag(QStyle::State_Selected);
    painter->save();
    painter->setPen(item.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QFontMetrics metrics(item.font);
    QRect line = item.rect.adjusted(kMargin, kMargin, -kMargin, 0);
    line.setHeight(metrics.height());
    painter->setFont(item.font);
    painter->drawText(line, Qt::AlignLeft | Qt::AlignVCenter,
                      metrics.elidedText(title, Qt::ElideRight, line.width()));

    if (!context.text.empty()) {
        line.translate(0, metrics.lineSpacing());
        const QString before =
            shownText(std::string_view(context.text).substr(0, context.hitStart));
        const QString hit =
            shownText(std::string_view(context.text).substr(context.hitStart, context.hitLength));
        const QString after =
            shownText(std::string_view(context.text).substr(context.hitStart + context.hitLength));
        QFont bold = item.font;
        bold.setBold(true);
        const QFontMetrics boldMetrics(bold);
        const int width = line.width();
        // The hit stays in view: what comes before it gives way first, at most half the row.
        const QString shownBefore =
            metrics.elidedText(before, Qt::ElideLeft,
                               std::max(width / 2, width - boldMetrics.horizontalAdvance(hit) -
                                                       metrics.horizontalAdvance(after)));
        int x = line.left();
        painter->drawText(QRect(x, line.top(), width, line.height()),
                          Qt::AlignLeft | Qt::AlignVCenter, shownBefore);
        x += metrics.horizontalAdvance(shownBefore);
        painter->setFont(bold);
        const QString shownHit = boldMetrics.elidedText(hit, Qt::ElideRight, line.right() - x);
        painter->drawText(QRect(x, line.top(), line.right() - x, line.height()),
                          Qt::AlignLeft | Qt::AlignVCenter, shownHit);
        x += boldMetrics.horizontalAdvance(shownHit);
        painter->setFont(item.font);
        if (x < line.right()) {
            painter->drawText(QRect(x, line.top(), line.right() - x, line.height()),
                              Qt::AlignLeft | Qt::AlignVCenter,
                              metrics.elidedText(after, Qt::ElideRight, line.right() - x));
        }
    }
    painter->restore();
}

QSize ResultRowDelegate::sizeHint(const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    const QSize one = QStyledItemDelegate::sizeHint(option, index);
    const QFontMetrics metrics(option.font);
    return {one.width(), metrics.lineSpacing() + metrics.height() + 2 * kMargin};
}

}  // namespace pelmaro::app
