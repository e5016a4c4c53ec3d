#pragma once

#include <QStyledItemDelegate>
#include <functional>
#include <string>
#include <string_view>

#include "reader/full_text_command.h"

namespace pelmaro::app {

// What a full-text result row says, for its first line and for screen readers: the title as
// people read it, " — folder" when titles repeat, and on a line of its own the context around
// the first hit.
QString resultRowText(const std::string& title, const std::string& folder,
                      const ContextLine& context);

// Paints a result row in two lines: the title (and folder), and under it the context line with
// the hit in bold. The context is asked for only for the rows painted.
class ResultRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    using Context = std::function<const ContextLine&(int row)>;
    ResultRowDelegate(Context context, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    Context context_;
};

}  // namespace pelmaro::app
