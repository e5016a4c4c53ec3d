#pragma once

#include <QWidget>

#include "app/entry_list.h"

class QHBoxLayout;
class QLabel;

namespace pelmaro::app {

// An overlay list as it lies over the page: a heading that says what it is ("Bookmarks",
// "Results for ‹text›"), the list, and a line in its place when it is empty. Esc in it hides it.
class OverlayPane final : public QWidget {
    Q_OBJECT

public:
    OverlayPane(ByteListModel& model, const QString& emptyText, QWidget* parent = nullptr);

    EntryListView& view() { return *view_; }
    // `details` shows when the pointer rests on the heading; none when empty.
    void setHeading(const QString& heading, const QString& details = {});
    // Puts a control at the end of the heading's line (the results' order).
    void addHeadingControl(QWidget* control);
    // The line shown in the list's place while it is empty; none when `text` is empty.
    void setEmptyText(const QString& text);

private:
    void showWhetherEmpty();

    ByteListModel& model_;
    QLabel* heading_ = nullptr;
    QHBoxLayout* headingRow_ = nullptr;
    QLabel* empty_ = nullptr;
    EntryListView* view_ = nullptr;
};

}  // namespace pelmaro::app
