#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QObject>
#include <QSplitter>
#include <QTest>
#include <QWebEngineView>
#include <QWindow>

#include "app/main_window.h"
#include "app/page_view.h"
#include "app/window_text.h"
#include "platform/error.h"
#include "platform/settings_file.h"
#include "tests/app/app_test_main.h"
#include "tests/app/web_helpers.h"
#include "tests/support/fakes.h"
#include "tests/support/temp_dir.h"

using pelmaro::app::ListBox;
using pelmaro::app::QtListControl;
using pelmaro::app::TForm1;

namespace {

struct ShownBox {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    QStringList buttons;
};

// The real window with scripted dialogs, settings in a temporary folder, and error boxes recorded
// instead of shown.
struct Harness {
    Harness() {
        form = std::make_unique<TForm1>(pelmaro::app::FormServices{
            dialogs, settings, files, [this](QDialog& dialog) {
                auto& box = dynamic_cast<QMessageBox&>(dialog);
                QStringList buttons;
                for (QAbstractButton* button : box.buttons()) {
                    buttons << button->text();
                }
                boxes.push_back({box.windowTitle(), box.text(), box.icon(), buttons});
                return static_cast<int>(QMessageBox::Ok);
            }});
        form->FormCreate();
    }
    void show() {
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }

    // A catalogue of `titles` titles and `paths` pages "Page 0", "Page 1", ... on the disk.
    void loadCatalogue(int titles, int paths) {
        std::vector<std::string> titleItems;
        std::vector<std::string> pathItems;
        for (int i = 0; i < std::max(titles, paths); ++i) {
            const std::string title = "Page " + std::to_string(i);
            if (i < titles) {
                titleItems.push_back(title);
            }
            if (i < paths) {
                pathItems.push_back(dir.write(
                    "p" + std::to_string(i) + ".htm",
                    "<html><head><title>" + title + "</title></head><body>x</body></html>"));
            }
        }
        form->titles().assign(titleItems);
        form->paths().assign(pathItems);
    }
    // Runs `handler` as the menu and the lists do; false when it showed an error.
    bool run(const std::function<void()>& handler) {
        const std::size_t before = boxes.size();
        form->runHandler(handler);
        return boxes.size() == before;
    }
    std::string lastError() const {
        return boxes.empty() ? std::string() : boxes.back().text.toStdString();
    }
    template <typename T>
    T* child(const char* name) {
        return form->findChild<T*>(QString::fromLatin1(name));
    }
    QWebEngineView* browser() { return child<QWebEngineView>("WebBrowser1"); }
    // The page file shown, once the view has it.
    std::optional<std::string> shownFile() { return pelmaro::app::pageFile(browser()->url()); }

    pelmaro::test::TempDir dir;
    pelmaro::test::ScriptedDialogs dialogs;
    pelmaro::platform::PosixFileSystem files;
    pelmaro::platform::SettingsFile settings{files, dir / "config/settings.reg"};
    std::vector<ShownBox> boxes;
    std::unique_ptr<TForm1> form;
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void startsWithItsControls_andTheOverlaysHidden() {
        Harness h;
        h.show();
        QCOMPARE(h.form->objectName(), QStringLiteral("Form1"));
        QCOMPARE(h.form->windowTitle(), QStringLiteral("Pelmaro 1.0"));
        QCOMPARE(h.form->normalGeometry(), QRect(176, 114, 552, 378));
        auto* titles = h.child<ListBox>("ListBox1");
        QVERIFY(titles && titles->isVisible());
        QCOMPARE(titles->width(), 121);
        QVERIFY(h.child<QSplitter>("Splitter1"));
        QVERIFY(h.browser() && h.browser()->isVisible());
        QVERIFY(!h.child<ListBox>("ListBox3")->isVisible());
        QVERIFY(!h.child<ListBox>("ListBox4")->isVisible());
        // The path list is a list control that no view shows.
        QVERIFY(h.child<QtListControl>("ListBox2"));
        QVERIFY(!h.child<QWidget>("ListBox2"));
        QCOMPARE(h.form->FocusState, 1);
    }

    void menuBar_holdsTheNineCommands_inOrder_withKeysAndMarks() {
        Harness h;
        struct Command {
            const char* name;
            const char* label;
            Qt::Key key;
        };
        const Command expected[] = {
            {"Path1", "&Path", Qt::Key_F2},
            {"Search1", "&Search", Qt::Key_F3},
            {"NewSearch1", "&New Search", Qt::Key_F4},
            {"Bookmark1", "&Bookmark", Qt::Key_F8},
            {"AddNewbookmark1", "N&ew bookmark", Qt::Key_F6},
            {"DeleteBookmark1", "&Delete Bookmark", Qt::Key_F7},
            {"Open1", "&Open", Qt::Key_F9},
            {"Result1", "&Result", Qt::Key_F10},
            {"Fullsearch1", "&Full search", Qt::Key_F11},
        };
        const QList<QAction*> actions = h.form->menuBar()->actions();
        QCOMPARE(actions.size(), 9);
        for (int i = 0; i < 9; ++i) {
            QCOMPARE(actions[i]->objectName(), QString::fromLatin1(expected[i].name));
            QCOMPARE(actions[i]->text(), QString::fromLatin1(expected[i].label));
            QCOMPARE(actions[i]->shortcut(), QKeySequence(expected[i].key));
            QCOMPARE(actions[i]->shortcutContext(), Qt::ApplicationShortcut);
            QVERIFY(!actions[i]->menu());
        }
    }

    void fullSearchLabel_readsBackWithItsPlacedMark_data() {
        QTest::addColumn<QString>("set");
        QTest::addColumn<QString>("readBack");
        QTest::newRow("stop: S belongs to Search") << "&Stop search"
                                                   << "S&top search";
        QTest::newRow("full search with its mark") << "&Full search"
                                                   << "&Full search";
        QTest::newRow("full search without a mark") << "Full search"
                                                    << "&Full search";
    }
    void fullSearchLabel_readsBackWithItsPlacedMark() {
        QFETCH(QString, set);
        QFETCH(QString, readBack);
        Harness h;
        pelmaro::platform::MenuItem& item = h.form->fullSearchCommand();
        item.setLabel("&Stop search");
        item.setLabel(set.toStdString());
        QCOMPARE(QString::fromStdString(item.label()), readBack);
        QCOMPARE(h.child<QAction>("Fullsearch1")->text(), readBack);
        QCOMPARE(h.child<QAction>("Search1")->text(), QStringLiteral("&Search"));
    }

    void overlayJump_followsTheRules_data() {
        QTest::addColumn<QString>("overlay");
        QTest::addColumn<int>("titles");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("shownAfter");
        QTest::addColumn<int>("selectedTitle");
        QTest::addColumn<QString>("error");
        for (const QString& overlay : {QStringLiteral("ListBox3"), QStringLiteral("ListBox4")}) {
            auto row = [&](const char* name) -> QTestData& {
                return QTest::addRow("%s: %s", qPrintable(overlay), name) << overlay;
            };
            row("empty catalogue: nothing, not even hide")
                << 0 << true << QStringList{"Page 0|0"} << 0 << true << -1 << QString();
            row("hidden overlay: nothing")
                << 3 << false << QStringList{"Page 1|1"} << 0 << false << -1 << QString();
            row("empty overlay: only hides")
                << 3 << true << QStringList{} << -1 << false << -1 << QString();
            row("entry: selects it and hides")
                << 3 << true << QStringList{"Page 0|0", "Page 2|2"} << 1 << false << 2 << QString();
            row("title with a bar: the index after the last")
                << 3 << true << QStringList{"a|b|1"} << 0 << false << 1 << QString();
            row("nothing selected: fails, stays") << 3 << true << QStringList{"Page 1|1"} << -1
                                                  << true << -1 << "List index out of bounds (-1)";
            row("index beyond the catalogue: fails, stays")
                << 3 << true << QStringList{"Gone|7"} << 0 << true << -1
                << "List index out of bounds (7)";
            row("no number: fails, stays") << 3 << true << QStringList{"Page|one"} << 0 << true
                                           << -1 << "'one' is not a valid integer value.";
        }
    }
    void overlayJump_followsTheRules() {
        QFETCH(QString, overlay);
        QFETCH(int, titles);
        QFETCH(bool, shown);
        QFETCH(QStringList, entries);
        QFETCH(int, selected);
        QFETCH(bool, shownAfter);
        QFETCH(int, selectedTitle);
        QFETCH(QString, error);
        Harness h;
        h.loadCatalogue(titles, titles);
        QtListControl& list =
            overlay == QStringLiteral("ListBox3") ? h.form->bookmarkList() : h.form->resultList();
        std::vector<std::string> items;
        for (const QString& entry : entries) {
            items.push_back(entry.toStdString());
        }
        list.assign(items);
        if (selected >= 0) {
            list.select(selected);
        }
        list.setVisible(shown);

        const bool ok = h.run([&] {
            overlay == QStringLiteral("ListBox3") ? h.form->ListBox3DblClick()
                                                  : h.form->ListBox4DblClick();
        });
        QCOMPARE(ok, error.isEmpty());
        QCOMPARE(QString::fromStdString(h.lastError()), error);
        QCOMPARE(list.isVisible(), shownAfter);
        QCOMPARE(h.form->titles().selectedIndex(), selectedTitle);
        QCOMPARE(h.child<ListBox>(qPrintable(overlay))->isVisibleTo(h.form.get()), shownAfter);
        if (selectedTitle >= 0) {
            QTRY_COMPARE(
                h.shownFile(),
                std::optional<std::string>(h.dir / ("p" + std::to_string(selectedTitle) + ".htm")));
        }
    }

    void doubleClickOnTheShownBookmarks_jumps() {
        Harness h;
        h.show();
        h.loadCatalogue(3, 3);
        h.form->bookmarkList().assign({"Page 2|2"});
        h.form->bookmarkList().setVisible(true);
        auto* view = h.child<ListBox>("ListBox3");
        QTRY_VERIFY(view->isVisible());
        const QPoint entry = view->visualRect(view->model()->index(0, 0)).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, entry);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, entry);
        QTRY_VERIFY(!view->isVisible());
        QCOMPARE(h.form->titles().selectedIndex(), 2);
        QVERIFY(h.browser()->isVisible());
        QTRY_COMPARE(h.shownFile(), std::optional<std::string>(h.dir / "p2.htm"));
    }

    void keyboardSelection_showsEachPageInTurn() {
        Harness h;
        h.show();
        h.loadCatalogue(3, 3);
        auto* view = h.child<ListBox>("ListBox1");
        view->setFocus();
        for (int expected : {0, 1, 2}) {
            QVERIFY(pelmaro::test::loadAndWait(h.browser()->page(),
                                               [&] { QTest::keyClick(view, Qt::Key_Down); }));
            QCOMPARE(h.form->titles().selectedIndex(), expected);
            QCOMPARE(pelmaro::test::evaluate(h.browser()->page(), QStringLiteral("document.title")),
                     QVariant(QStringLiteral("Page %1").arg(expected)));
        }
        QCOMPARE(h.boxes.size(), std::size_t(0));
    }

    void programSelection_doesNotShowThePage() {
        Harness h;
        h.show();
        h.loadCatalogue(3, 3);
        h.form->titles().select(1);
        QTest::qWait(200);
        QCOMPARE(h.shownFile(), std::nullopt);
    }

    void showPage_withoutSelectionOrPath_data() {
        QTest::addColumn<int>("titles");
        QTest::addColumn<int>("paths");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty catalogue: nothing") << 0 << 2 << -1 << QString();
        QTest::newRow("no entry selected: nothing") << 3 << 3 << -1 << QString();
        QTest::newRow("title beyond the last path: fails")
            << 3 << 2 << 2 << "List index out of bounds (2)";
    }
    void showPage_withoutSelectionOrPath() {
        QFETCH(int, titles);
        QFETCH(int, paths);
        QFETCH(int, selected);
        QFETCH(QString, error);
        Harness h;
        h.loadCatalogue(titles, paths);
        if (selected >= 0) {
            h.form->titles().select(selected);
        }
        QCOMPARE(h.run([&] { h.form->ListBox1Click(); }), error.isEmpty());
        QCOMPARE(QString::fromStdString(h.lastError()), error);
    }

    void tabAddressedToTheWindow_togglesTheFocus() {
        Harness h;
        h.show();
        h.form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(h.form.get()));
        auto* titles = h.child<ListBox>("ListBox1");
        QWidget* browser = h.browser();
        auto browserHasFocus = [&] {
            QWidget* focus = h.form->focusWidget();
            return focus == browser || browser->isAncestorOf(focus) ||
                   focus == browser->focusProxy();
        };
        QTest::keyClick(h.form.get(), Qt::Key_Tab);
        QCOMPARE(h.form->FocusState, 2);
        QTRY_COMPARE(h.form->focusWidget(), titles);
        QTest::keyClick(h.form.get(), Qt::Key_Tab, Qt::ShiftModifier);
        QCOMPARE(h.form->FocusState, 1);
        QTRY_VERIFY(browserHasFocus());
        h.form->FormKeyDown(Qt::Key_A);
        QCOMPARE(h.form->FocusState, 1);
    }

    void errorBox_isTitledByTheProgram_withThePeriodRule() {
        Harness h;
        const std::string executable =
            QFileInfo(QCoreApplication::applicationFilePath()).fileName().toStdString();
        const QString title = QString::fromStdString(pelmaro::app::applicationTitle(executable));
        QVERIFY(!h.run([] { throw pelmaro::Error("Cannot open file \"/a.title\". Gone"); }));
        QVERIFY(!h.run([] { pelmaro::throwListIndexOutOfBounds(4); }));
        QVERIFY(!h.run([] { throw std::runtime_error("unexpected"); }));
        QCOMPARE(h.boxes.size(), std::size_t(3));
        QCOMPARE(h.boxes[0].text, QStringLiteral("Cannot open file \"/a.title\". Gone."));
        QCOMPARE(h.boxes[1].text, QStringLiteral("List index out of bounds (4)"));
        QCOMPARE(h.boxes[2].text, QStringLiteral("unexpected."));
        for (const ShownBox& box : h.boxes) {
            QCOMPARE(box.title, title);
            QCOMPARE(box.icon, QMessageBox::Critical);
            QCOMPARE(box.buttons, QStringList{QStringLiteral("OK")});
        }
    }

    void statusSetsTheCaption_asGiven() {
        Harness h;
        h.show();
        h.form->setStatus("sorting...3 total is 3");
        QCOMPARE(h.form->windowHandle()->title(), QStringLiteral("sorting...3 total is 3"));
        h.form->setStatus("caf\xc3\xa9 [*] \xff");
        QCOMPARE(h.form->windowHandle()->title(), QStringLiteral("caf\u00e9 [*] \ufffd"));
    }

    void closeDuringALongCommand_waitsForItsEnd() {
        Harness h;
        h.show();
        {
            pelmaro::platform::LongCommandGate::Hold hold(h.form->longCommandGate());
            QVERIFY(!h.form->close());
            QVERIFY(h.form->isVisible());
            QVERIFY(h.form->closeRequested());
            h.run([] {});  // a command that runs inside the long one ends: still open
            QVERIFY(h.form->isVisible());
        }
        h.run([] {});  // the long command returns through its handler
        QVERIFY(!h.form->isVisible());
    }

    void closeWhenIdle_closes() {
        Harness h;
        h.show();
        QVERIFY(h.form->close());
        QVERIFY(!h.form->isVisible());
        QVERIFY(h.form->closeRequested());
    }

    void twoHundredThousandTitles_fillTheList() {
        Harness h;
        h.show();
        std::vector<std::string> titles(200000);
        for (std::size_t i = 0; i < titles.size(); ++i) {
            titles[i] = "Title " + std::to_string(i);
        }
        h.form->titles().assign(std::move(titles));
        auto* view = h.child<ListBox>("ListBox1");
        QCOMPARE(view->model()->rowCount(), 200000);
        h.form->titles().select(199999);
        QCoreApplication::processEvents();
        QCOMPARE(view->currentIndex().row(), 199999);
        QVERIFY(view->viewport()->rect().intersects(view->visualRect(view->currentIndex())));
        QCOMPARE(view->model()->data(view->currentIndex()).toString(),
                 QStringLiteral("Title 199999"));
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Home);
        QCOMPARE(h.form->titles().selectedIndex(), 0);
        QCOMPARE(h.boxes.size(), std::size_t(1));  // no paths: showing the page fails
        QCOMPARE(h.lastError(), std::string("List index out of bounds (0)"));
    }
};

PELMARO_APP_TEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
