#include <QObject>
#include <QSignalSpy>
#include <QTest>

#include "app/entry_list.h"
#include "platform/error.h"
#include "tests/app/app_test_main.h"

using pelmaro::app::ByteListModel;
using pelmaro::app::EntryListView;

namespace {

std::vector<std::string> items(int count) {
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) {
        out.push_back("item " + std::to_string(i));
    }
    return out;
}

int viewRow(const EntryListView& view) {
    const QModelIndexList rows = view.selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

// A list and its view on screen, with the user's selection changes counted.
struct ShownList {
    explicit ShownList(int count) : list(true), view(list) {
        list.assign(items(count));
        view.resize(200, 300);
        view.show();
        (void)QTest::qWaitForWindowExposed(&view);
    }
    void click(int row, Qt::KeyboardModifiers modifiers = {}) {
        const QRect rect = view.visualRect(list.index(row));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, modifiers, rect.center());
    }
    ByteListModel list;
    EntryListView view;
    QSignalSpy userChanges{&view, &EntryListView::userSelectionChanged};
};

}  // namespace

class EntryListTest : public QObject {
    Q_OBJECT

private slots:
    void items_keepTheirBytes_andDisplayAsUtf8() {
        ByteListModel list(true);
        const std::string invalid = "caf\xe9 \xff";
        list.assign({"caf\xc3\xa9", invalid, ""});
        QCOMPARE(std::string(list.item(1)), invalid);
        QCOMPARE(list.data(list.index(0)).toString(), QStringLiteral("caf\u00e9"));
        const QString shown = list.data(list.index(1)).toString();
        QVERIFY(shown.startsWith(QStringLiteral("caf")));
        QCOMPARE(shown.count(QChar::ReplacementCharacter), 2);
        QCOMPARE(list.data(list.index(2)).toString(), QString());
        QCOMPARE(list.rowCount(), 3);
    }

    void bidiControlsInAnItem_areShownAsMarks_andKeptAsStored() {
        ShownList shown(0);
        const std::string title = "Invoice \u202E\u2066fdp.exe";
        shown.list.assign({title});
        QCOMPARE(std::string(shown.list.item(0)), title);
        const QModelIndex row = shown.list.index(0);
        const QString expected = QStringLiteral("Invoice \uFFFD\uFFFDfdp.exe");
        QCOMPARE(shown.view.model()->data(row, Qt::DisplayRole).toString(), expected);
        QCOMPARE(shown.view.model()->data(row, Qt::ToolTipRole).toString(), expected);
    }

    void veryLongItem_isShownShortened_andKeptWhole() {
        ByteListModel list(true);
        const std::string longItem = "a" + std::string(5000, 'x');
        list.assign({longItem});
        const QString shown = list.data(list.index(0)).toString();
        QCOMPARE(shown.size(), 1001);
        QVERIFY(shown.endsWith(QChar(0x2026)));
        QCOMPARE(list.item(0).size(), longItem.size());
    }

    void indexOutsideTheList_fails() {
        ByteListModel list(true);
        list.assign(items(2));
        const std::vector<std::pair<std::function<void()>, std::string>> cases = {
            {[&] { (void)list.item(2); }, "List index out of bounds (2)"},
            {[&] { list.setItem(-1, "x"); }, "List index out of bounds (-1)"},
            {[&] { list.remove(5); }, "List index out of bounds (5)"},
            {[&] { list.select(2); }, "List index out of bounds (2)"},
        };
        for (const auto& [operation, message] : cases) {
            try {
                operation();
                QFAIL(("no error, expected " + message).c_str());
            } catch (const pelmaro::Error& error) {
                QCOMPARE(std::string(error.what()), message);
            }
        }
        QCOMPARE(list.items(), items(2));
        QCOMPARE(list.rowCount(), 2);
        // The view's indexes: none outside the rows, the one column or the top level.
        QCOMPARE(list.index(1).row(), 1);
        QVERIFY(!list.index(2).isValid());
        QVERIFY(!list.index(-1).isValid());
        QVERIFY(!list.index(0, 1).isValid());
        QVERIFY(!list.index(0, 0, list.index(1)).isValid());
    }

    void programSelection_showsInView_withoutCountingAsTheUsers() {
        ShownList shown(50);
        shown.list.select(40);
        QCOMPARE(viewRow(shown.view), 40);
        QVERIFY(
            shown.view.viewport()->rect().intersects(shown.view.visualRect(shown.list.index(40))));
        shown.list.clearSelection();
        QCOMPARE(viewRow(shown.view), -1);
        QCOMPARE(shown.userChanges.count(), 0);
    }

    void userArrowsAndClicks_areReported_eachTime() {
        ShownList shown(5);
        shown.view.setFocus();
        shown.click(1);
        QCOMPARE(shown.list.selectedIndex(), 1);
        QTest::keyClick(&shown.view, Qt::Key_Down);
        QCOMPARE(shown.list.selectedIndex(), 2);
        QTest::keyClick(&shown.view, Qt::Key_Down);
        QCOMPARE(shown.list.selectedIndex(), 3);
        QCOMPARE(shown.userChanges.count(), 3);
        shown.click(3);  // the same item again: no change
        QCOMPARE(shown.userChanges.count(), 3);
    }

    void ctrlClickOnTheSelectedItem_keepsIt() {
        ShownList shown(5);
        shown.click(2);
        shown.click(2, Qt::ControlModifier);
        QCOMPARE(shown.list.selectedIndex(), 2);
        QCOMPARE(viewRow(shown.view), 2);
        QCOMPARE(shown.userChanges.count(), 1);
    }

    void changingItems_movesTheSelectionAlong_withoutReportingIt() {
        ShownList shown(5);
        shown.list.select(3);
        shown.list.remove(0);
        QCOMPARE(shown.list.selectedIndex(), 2);
        QCOMPARE(viewRow(shown.view), 2);
        shown.list.setItem(2, "renamed");
        QCOMPARE(shown.list.selectedIndex(), 2);
        shown.list.add("last");
        QCOMPARE(viewRow(shown.view), 2);
        shown.list.remove(2);
        QCOMPARE(shown.list.selectedIndex(), -1);
        QCOMPARE(viewRow(shown.view), -1);
        shown.list.select(1);
        shown.list.assign(items(3));
        QCOMPARE(shown.list.selectedIndex(), -1);
        QCOMPARE(viewRow(shown.view), -1);
        shown.list.select(0);
        shown.list.clear();
        QCOMPARE(shown.list.selectedIndex(), -1);
        QCOMPARE(shown.userChanges.count(), 0);
    }

    void doubleClickAnywhere_andEnter_areReported() {
        ShownList shown(0);  // an empty list still hears its double click
        QSignalSpy spy(&shown.view, &EntryListView::listDoubleClicked);
        QTest::mouseDClick(shown.view.viewport(), Qt::LeftButton, {}, QPoint(20, 20));
        QTest::keyClick(&shown.view, Qt::Key_Return);
        QCOMPARE(spy.count(), 2);
    }
};

PELMARO_APP_TEST_MAIN(EntryListTest)
#include "entry_list_test.moc"
