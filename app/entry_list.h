#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <functional>
#include <string>
#include <string_view>

#include "platform/list_control.h"

namespace pelmaro::app {

// One of the window's list controls. The items live here once, as bytes; the view asks for the
// rows it paints and decodes only those (UTF-8; invalid bytes show as replacement characters),
// so a list of 200,000 titles costs one model reset and no per-item widgets.
//
// The selection made through the ListControl interface is announced with selectionSet() for the
// view to follow; it never counts as the user's.
class ByteListModel final : public QAbstractListModel, public platform::ListControl {
    Q_OBJECT

public:
    explicit ByteListModel(bool visible, QObject* parent = nullptr);

    int count() const override { return list_.count(); }
    std::string_view item(int index) const override { return list_.item(index); }
    const platform::TextList& items() const override { return list_.items(); }
    void setItem(int index, std::string text) override;
    void add(std::string text) override;
    void append(std::vector<std::string> items) override;
    void remove(int index) override;
    void clear() override;
    void assign(platform::TextList items) override;
    int selectedIndex() const override { return list_.selectedIndex(); }
    void select(int index) override;
    void clearSelection() override;
    bool isVisible() const override { return list_.isVisible(); }
    void setVisible(bool visible) override;

    // A row's index without the checks through rowCount() and columnCount() that the base class
    // makes: the view asks for every row's index each time it lays them out.
    QModelIndex index(int row, int column = 0,
                      const QModelIndex& parent = QModelIndex()) const override {
        return row >= 0 && row < count() && column == 0 && !parent.isValid()
                   ? createIndex(row, column)
                   : QModelIndex();
    }
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // What a row shows for its item bytes (UTF-8); the bytes themselves when unset. The title list
    // shows titles as people read them, the overlays the titles of their entry references.
    using ShownText = std::function<std::string(int row, std::string_view item)>;
    void setShownText(ShownText shownText) { shownText_ = std::move(shownText); }

    // The user selected `index` (-1: nothing) in the view; nothing is announced.
    void takeUserSelection(int index);
    // True while the items change: selection changes the view reports meanwhile are its own
    // bookkeeping, not the user's.
    bool changing() const { return changing_; }

signals:
    void selectionSet(int index);
    void visibilityChanged(bool visible);

private:
    class Change;

    platform::MemoryList list_;
    ShownText shownText_;
    bool changing_ = false;
};

// The view of a ByteListModel: single selection, uniform rows. It follows the selection the
// program makes and reports the one the user makes (mouse, arrows, typing).
class EntryListView final : public QListView {
    Q_OBJECT

public:
    EntryListView(ByteListModel& list, QWidget* parent = nullptr);

    // Letters typed in the list go to typedText() instead of the list's own keyboard search (the
    // title list opens quick find with them); Home, End and the arrows still move as ever.
    void setTypingHandedOn(bool handedOn) { typingHandedOn_ = handedOn; }
    // The first of the newest rows, in a list that keeps older ones above them (the results of
    // earlier searches): the view shows it at its top when it comes and when the rows are put
    // in a new order, and the keys go to it (unselected) while they are on none of the newest
    // rows, so that Enter opens it. 0 by default.
    void setLeadRow(int row);

signals:
    // Text typed while the list has the focus, when typing is handed on.
    void typedText(const QString& text);
    // The user changed the selected item; the list control already knows.
    void userSelectionChanged();
    // A double click anywhere in the list, or Enter.
    void listDoubleClicked();

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showSelection(int index);
    void readSelection();
    // Moves the keys, and once the view, to the lead row when it has come (setLeadRow).
    void takeLeadRow();

    ByteListModel& list_;
    bool following_ = false;
    bool typingHandedOn_ = false;
    int leadRow_ = 0;
    bool leadShown_ = true;  // whether the view has shown the lead row since it was set or reset
    int leadScroll_ = -1;    // where that left the view (none: -1)
};

}  // namespace pelmaro::app
