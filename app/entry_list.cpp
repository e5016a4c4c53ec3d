#include "app/entry_list.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

#include "app/qt_text.h"
#include "platform/byte_text.h"

namespace pelmaro::app {
namespace {

constexpr std::size_t kLongestShownItem = 1000;

}  // namespace

// Marks the items as changing for the lifetime of the object and announces the selection after.
class ByteListModel::Change {
public:
    explicit Change(ByteListModel& list) : list_(list) { list_.changing_ = true; }
    ~Change() {
        list_.changing_ = false;
        emit list_.selectionSet(list_.selectedIndex());
    }
    Change(const Change&) = delete;
    Change& operator=(const Change&) = delete;

private:
    ByteListModel& list_;
};

ByteListModel::ByteListModel(bool visible, QObject* parent) : QAbstractListModel(parent) {
    list_.setVisible(visible);
}

void ByteListModel::setItem(int index, std::string text) {
    list_.setItem(index, std::move(text));
    const QModelIndex changed = this->index(index);
    emit dataChanged(changed, changed, {Qt::DisplayRole, Qt::ToolTipRole});
}

void ByteListModel::add(std::string text) {
    Change change(*this);
    beginInsertRows(QModelIndex(), count(), count());
    list_.add(std::move(text));
    endInsertRows();
}

void ByteListModel::append(std::vector<std::string> items) {
    if (items.empty()) {
        return;
    }
    Change change(*this);
    const int first = count();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(items.size()) - 1);
    list_.append(std::move(items));
    endInsertRows();
}

void ByteListModel::remove(int index) {
    (void)list_.item(index);  // fails before the view hears of a removal
    Change change(*this);
    beginRemoveRows(QModelIndex(), index, index);
    list_.remove(index);
    endRemoveRows();
}

void ByteListModel::clear() {
    Change change(*this);
    beginResetModel();
    list_.clear();
    endResetModel();
}

void ByteListModel::assign(platform::TextList items) {
    Change change(*this);
    beginResetModel();
    list_.assign(std::move(items));
    endResetModel();
}

void ByteListModel::select(int index) {
    list_.select(index);
    emit selectionSet(index);
}

void ByteListModel::clearSelection() {
    list_.clearSelection();
    emit selectionSet(-1);
}

void ByteListModel::setVisible(bool visible) {
    if (visible != list_.isVisible()) {
        list_.setVisible(visible);
        emit visibilityChanged(visible);
    }
}

int ByteListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant ByteListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count() ||
        (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::AccessibleTextRole)) {
        return {};
    }
    const std::string_view stored = items()[static_cast<std::size_t>(index.row())];
    std::string decoded;
    if (shownText_) {
        decoded = shownText_(index.row(), stored);
    }
    const std::string_view item = shownText_ ? std::string_view(decoded) : stored;
    // A row shows far fewer characters than this; decoding and measuring a title of megabytes
    // for every paint would freeze the window.
    const std::string_view text = utf8Prefix(item, kLongestShownItem);
    QString shown = shownText(text);
    if (text.size() < item.size()) {
        shown += QChar(0x2026);
    }
    return shown;
}

void ByteListModel::takeUserSelection(int index) {
    if (index < 0) {
        list_.clearSelection();
    } else {
        list_.select(index);
    }
}

EntryListView::EntryListView(ByteListModel& list, QWidget* parent)
    : QListView(parent), list_(list) {
    setModel(&list);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideRight);
    connect(&list, &ByteListModel::selectionSet, this, &EntryListView::showSelection);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &EntryListView::readSelection);
    connect(&list, &QAbstractItemModel::rowsInserted, this, &EntryListView::takeLeadRow);
    // Rows put in a new order (results ranked when their search ends): the view shows a lead
    // row below older ones again, unless a selected row then asks to be shown (showSelection).
    connect(&list, &QAbstractItemModel::modelReset, this, [this] {
        leadShown_ = leadRow_ == 0;
        takeLeadRow();
    });
}

void EntryListView::setLeadRow(int row) {
    leadRow_ = row;
    leadShown_ = false;
    takeLeadRow();
}

void EntryListView::takeLeadRow() {
    if (leadRow_ >= model()->rowCount()) {
        return;
    }
    const QModelIndex lead = model()->index(leadRow_, 0);
    // Rows that come while the list has the keys and none of the newest rows has them (results
    // that arrive under the focus): the lead row takes them, unselected, so that Enter opens it.
    if (hasFocus() && (!currentIndex().isValid() || currentIndex().row() < leadRow_)) {
        selectionModel()->setCurrentIndex(lead, QItemSelectionModel::NoUpdate);
    }
    // The view keeps the lead row at its top while rows come, until the user scrolls it away: a
    // lead row among the last comes before the rows under it.
    if (!leadShown_ || verticalScrollBar()->value() == leadScroll_) {
        leadShown_ = true;
        scrollTo(lead, QAbstractItemView::PositionAtTop);
        leadScroll_ = verticalScrollBar()->value();
    }
}

void EntryListView::showSelection(int index) {
    following_ = true;
    if (index < 0) {
        selectionModel()->clearSelection();
    } else {
        const QModelIndex selected = model()->index(index, 0);
        selectionModel()->setCurrentIndex(selected, QItemSelectionModel::ClearAndSelect);
        scrollTo(selected);
    }
    following_ = false;
}

void EntryListView::readSelection() {
    if (following_ || list_.changing()) {
        return;
    }
    const QModelIndexList rows = selectionModel()->selectedRows();
    const int index = rows.isEmpty() ? -1 : rows.first().row();
    if (index != list_.selectedIndex()) {
        list_.takeUserSelection(index);
        emit userSelectionChanged();
    }
}

QItemSelectionModel::SelectionFlags EntryListView::selectionCommand(const QModelIndex& index,
                                                                    const QEvent* event) const {
    // Like a list box of one selection: a click beside the items or with Ctrl on the selected
    // one leaves the selection as it is.
    const QItemSelectionModel::SelectionFlags flags = QListView::selectionCommand(index, event);
    if (!index.isValid() || flags.testFlag(QItemSelectionModel::Deselect) ||
        flags.testFlag(QItemSelectionModel::Toggle)) {
        return QItemSelectionModel::NoUpdate;
    }
    return flags;
}

void EntryListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QListView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) {
        emit listDoubleClicked();
    }
}

void EntryListView::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    if (typingHandedOn_ && !text.isEmpty() && text.at(0).isPrint() && !text.at(0).isSpace() &&
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        emit typedText(text);
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        event->modifiers() == Qt::NoModifier) {
        // Reached with Tab, a list shows its focus on a row it hasn't selected: that row is meant.
        if (!selectionModel()->hasSelection() && currentIndex().isValid()) {
            selectionModel()->select(currentIndex(), QItemSelectionModel::ClearAndSelect);
        }
        emit listDoubleClicked();
        return;
    }
    QListView::keyPressEvent(event);
}

}  // namespace pelmaro::app
