#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QObject>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include "app/qt_dialogs.h"
#include "tests/app/app_test_main.h"
#include "tests/support/fakes.h"
#include "tests/support/temp_dir.h"

using pelmaro::app::QtDialogs;
using pelmaro::platform::FileFilter;

namespace {

// Checks made inside a dialog runner, where QVERIFY can't end the test; cleanup() reports them.
QStringList failedChecks;
#define EXPECT(condition)                                                          \
    do {                                                                           \
        if (!(condition)) {                                                        \
            failedChecks << QStringLiteral(#condition " (line %1)").arg(__LINE__); \
        }                                                                          \
    } while (false)

QStringList buttonTexts(const QMessageBox& box) {
    QStringList texts;
    for (QAbstractButton* button : box.buttons()) {
        texts << button->text();
    }
    texts.sort();
    return texts;
}

// Answers every dialog with `answer`, after letting the test look at it.
struct Answers {
    pelmaro::app::ModalRunner runner() {
        return [this](QDialog& dialog) {
            ++shown;
            if (auto* files = qobject_cast<QFileDialog*>(&dialog)) {
                files->setOption(QFileDialog::DontUseNativeDialog);
            }
            return inspect ? inspect(dialog) : static_cast<int>(QDialog::Rejected);
        };
    }
    std::function<int(QDialog&)> inspect;
    int shown = 0;
};

const std::vector<FileFilter> kOpenFilters = {{"*.path", "*.path"}, {"*.*", "*.*"}};

// The filters as the dialog's list of file types shows them.
QStringList filterLabels(const QFileDialog& dialog) {
    QStringList labels;
    if (const auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
        for (int i = 0; i < types->count(); ++i) {
            labels << types->itemText(i);
        }
    }
    return labels;
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        const QString failed = failedChecks.join(QStringLiteral("; "));
        failedChecks.clear();
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
    }

    void message_hasTheTitle_noIcon_andOneOk() {
        Answers answers;
        QtDialogs dialogs(QStringLiteral("Pelmaro"), answers.runner());
        answers.inspect = [](QDialog& dialog) {
            auto& box = dynamic_cast<QMessageBox&>(dialog);
            EXPECT(box.windowTitle() == QStringLiteral("Pelmaro"));
            EXPECT(box.text() == QStringLiteral("caf\u00e9 not found"));
            EXPECT(box.icon() == QMessageBox::NoIcon);
            EXPECT(buttonTexts(box) == QStringList{QStringLiteral("OK")});
            return static_cast<int>(QMessageBox::Ok);
        };
        dialogs.showMessage("caf\xc3\xa9 not found");
        QCOMPARE(answers.shown, 1);
    }

    void question_answersYesOnlyForYes_data() {
        QTest::addColumn<QString>("click");
        QTest::addColumn<bool>("expected");
        QTest::newRow("yes") << QStringLiteral("&Yes") << true;
        QTest::newRow("no") << QStringLiteral("&No") << false;
        QTest::newRow("closed without an answer") << QString() << false;
    }
    void question_answersYesOnlyForYes() {
        QFETCH(QString, click);
        QFETCH(bool, expected);
        Answers answers;
        QtDialogs dialogs(QStringLiteral("Pelmaro"), answers.runner());
        answers.inspect = [&](QDialog& dialog) {
            auto& box = dynamic_cast<QMessageBox&>(dialog);
            EXPECT(box.windowTitle() == QStringLiteral("Information"));
            EXPECT(box.icon() == QMessageBox::Information);
            EXPECT(buttonTexts(box) ==
                   (QStringList{QStringLiteral("&No"), QStringLiteral("&Yes")}));
            for (QAbstractButton* button : box.buttons()) {
                if (button->text() == click) {
                    button->click();
                }
            }
            if (click.isEmpty()) {
                box.reject();
            }
            return box.result();
        };
        QCOMPARE(dialogs.askYesNo("Information", "save the result ?"), expected);
    }

    void input_limitsTo255_andCancelGivesThePreset() {
        Answers answers;
        QtDialogs dialogs(QStringLiteral("Pelmaro"), answers.runner());
        answers.inspect = [](QDialog& dialog) {
            auto& input = dynamic_cast<QInputDialog&>(dialog);
            EXPECT(input.windowTitle() == QStringLiteral("please enter a string to search"));
            EXPECT(input.labelText() == QStringLiteral("pelmaro"));
            EXPECT(input.findChild<QLineEdit*>()->maxLength() == 255);
            input.setTextValue(QStringLiteral("\u00fcber"));
            return static_cast<int>(QDialog::Accepted);
        };
        QCOMPARE(dialogs.inputBox("please enter a string to search", "pelmaro", "old"),
                 std::string("\xc3\xbc"
                             "ber"));
        answers.inspect = nullptr;  // Cancel
        QCOMPARE(dialogs.inputBox("please enter a string to search", "pelmaro", "old"),
                 std::string("old"));
    }

    void folderPicker_givesThePathAsChosen_orEmptyOnCancel() {
        pelmaro::test::TempDir dir;
        const std::string folder = dir.mkdir("help");
        Answers answers;
        QtDialogs dialogs(QStringLiteral("Pelmaro"), answers.runner());
        answers.inspect = [&](QDialog& dialog) {
            auto& picker = dynamic_cast<QFileDialog&>(dialog);
            EXPECT(picker.windowTitle() == QStringLiteral("please select a path for scan"));
            EXPECT(picker.fileMode() == QFileDialog::Directory);
            picker.setDirectory(QString::fromStdString(dir.path()));
            picker.selectFile(QStringLiteral("help"));
            return static_cast<int>(QDialog::Accepted);
        };
        QCOMPARE(dialogs.pickFolder("please select a path for scan", ""), folder);
        answers.inspect = nullptr;
        QCOMPARE(dialogs.pickFolder("please select a path for scan", ""), std::string());
    }

    void openDialog_showsThePatternsAsLabels_andRemembersTheLastNameAndFilter() {
        pelmaro::test::TempDir dir;
        const std::string chosen = dir.write("notes.path", "");
        dir.write("other.path", "");
        const std::vector<std::string> places = {dir.path(), dir.path() + "/gone"};
        Answers answers;
        QtDialogs dialogs(QStringLiteral("Pelmaro"), answers.runner());
        answers.inspect = [&](QDialog& dialog) {
            auto& open = dynamic_cast<QFileDialog&>(dialog);
            EXPECT(open.windowTitle() == QStringLiteral("select saved path database file"));
            EXPECT(filterLabels(open) ==
                   (QStringList{QStringLiteral("*.path"), QStringLiteral("*.*")}));
            EXPECT(open.selectedNameFilter() == QStringLiteral("*.path"));
            open.selectNameFilter(QStringLiteral("*.* (*)"));
            // "*.*" lists names without a ".", as on the system the catalogues come from.
            auto* files = open.findChild<QFileSystemModel*>();
            EXPECT(files != nullptr && files->nameFilters() == QStringList{QStringLiteral("*")});
            // A folder offered as a place is among the dialog's; one that doesn't exist is not.
            const QList<QUrl> sidebar = open.sidebarUrls();
            EXPECT(sidebar.contains(QUrl::fromLocalFile(QString::fromStdString(dir.path()))));
            EXPECT(!sidebar.contains(QUrl::fromLocalFile(QString::fromStdString(places[1]))));
            open.selectFile(QString::fromStdString(chosen));
            return static_cast<int>(QDialog::Accepted);
        };
        QCOMPARE(dialogs.openFile("select saved path database file", kOpenFilters, "", places),
                 std::optional<std::string>(chosen));

        answers.inspect = [&](QDialog& dialog) {
            auto& open = dynamic_cast<QFileDialog&>(dialog);
            EXPECT(open.selectedNameFilter() == QStringLiteral("*.*"));
            EXPECT(open.selectedFiles() == QStringList{QString::fromStdString(chosen)});
            return static_cast<int>(QDialog::Rejected);
        };
        QCOMPARE(dialogs.openFile("select saved path database file", kOpenFilters, "", places),
                 std::optional<std::string>());
        QCOMPARE(answers.shown, 2);
    }

    void everyDialog_answersCancelled_onceTheWindowIsClosing() {
        Answers answers;
        answers.inspect = [](QDialog&) { return static_cast<int>(QDialog::Accepted); };
        QtDialogs dialogs(QStringLiteral("Pelmaro"), answers.runner());
        dialogs.closeAll();
        dialogs.showMessage("x");
        QCOMPARE(dialogs.askYesNo("Information", "save?"), false);
        QCOMPARE(dialogs.inputBox("c", "p", "preset"), std::string("preset"));
        QCOMPARE(dialogs.pickFolder("please select a path for scan", ""), std::string());
        QCOMPARE(dialogs.openFile("t", kOpenFilters, "", {}), std::optional<std::string>());
        QCOMPARE(answers.shown, 0);
    }
};

PELMARO_APP_TEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
