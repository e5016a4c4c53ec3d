#pragma once

#include <QAbstractItemView>
#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QTest>
#include <QWebEngineView>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/entry_list.h"
#include "app/main_window.h"
#include "app/page_view.h"
#include "platform/file_system.h"
#include "platform/settings_file.h"
#include "reader/reader.h"
#include "tests/app/web_helpers.h"
#include "tests/support/fakes.h"
#include "tests/support/temp_dir.h"

// What the end-to-end tests share: a test's own settings folder, generated page trees, and one
// run of the program driven through its real window, keys and mouse.
namespace pelmaro::test {

// A temporary folder whose "config" subfolder is $XDG_CONFIG_HOME while it lives: every run of
// the program in the test finds the settings the run before it stored, and no other test sees
// them.
class SandboxDir : public TempDir {
public:
    SandboxDir() : previous_(qgetenv("XDG_CONFIG_HOME")) {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(mkdir("config")));
    }
    ~SandboxDir() { qputenv("XDG_CONFIG_HOME", previous_); }

    std::string settingsFile() const { return *this / "config/pelmaro/settings.reg"; }

private:
    QByteArray previous_;
};

inline std::string htmlPage(const std::string& title, const std::string& body = "text") {
    return "<html><head><title>" + title + "</title></head><body>" + body + "</body></html>\r\n";
}

// `count` pages "Page 0000", "Page 0001", ... holding `body`, ten to a subfolder of `folder`, so
// that the catalogue order is the order of their numbers.
inline void writeNumberedPages(const TempDir& dir, const std::string& folder, int count,
                               const std::string& body) {
    for (int i = 0; i < count; ++i) {
        const QString number = QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0'));
        const std::string name =
            folder + "/d" + std::to_string(i / 10) + "/p" + number.toStdString() + ".htm";
        dir.write(name, htmlPage("Page " + number.toStdString(), body));
    }
}

// One run of the program, wired as main() wires it (settings in $XDG_CONFIG_HOME, the real file
// system, the real page view), except that the dialogs answer from a script and the error box is
// recorded instead of shown.
class ProgramRun {
public:
    ProgramRun()
        : settings(files, platform::defaultSettingsFileName()),
          form(std::make_unique<app::MainWindow>(app::WindowServices{dialogs, settings, files})) {}

    // Start-up, then the window shown and active, so that the command keys reach it.
    bool start() {
        form->start();
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get())) {
            return false;
        }
        form->activateWindow();
        return QTest::qWaitForWindowActive(form.get());
    }

    // A key press addressed to the window, as the user gives it; waits until the command and the
    // long work it started have ended.
    void press(Qt::Key key) {
        QTest::keyClick(form.get(), key);
        settle();
    }
    // Lets the window handle events until no long command runs.
    bool settle() {
        return QTest::qWaitFor([this] { return !form->reader().busy(); }, 60000);
    }
    // Path (F2) on `folder`, the picker and the question ("save the result ?") answered.
    void build(const std::string& folder, bool save) {
        dialogs.folderAnswers = {folder};
        dialogs.yesNoAnswers = {save};
        press(Qt::Key_F2);
    }
    // Presses the key and waits until the page view has loaded the page it shows next.
    bool pressAndWaitForPage(Qt::Key key) {
        return loadAndWait(browser()->page(), [&] { press(key); });
    }

    // Clicks the row of a list view ("titleList", "bookmarkList", "resultList") with the mouse.
    void clickRow(const char* list, int row) {
        auto* view = form->findChild<app::EntryListView*>(QString::fromLatin1(list));
        const QModelIndex index = view->model()->index(row, 0);
        view->scrollTo(index);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
    }
    void doubleClickRow(const char* list, int row) {
        auto* view = form->findChild<app::EntryListView*>(QString::fromLatin1(list));
        clickRow(list, row);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {},
                           view->visualRect(view->model()->index(row, 0)).center());
    }
    // Clicks a title and waits until its page has loaded.
    bool clickTitle(int row) {
        return loadAndWait(browser()->page(), [&] { clickRow("titleList", row); });
    }
    // A list view shown on the screen (the bookmark and result lists lie over the page view).
    bool shown(const char* list) {
        return form->findChild<app::EntryListView*>(QString::fromLatin1(list))->isVisible();
    }

    QWebEngineView* browser() { return form->findChild<QWebEngineView*>("pageView"); }
    // The file the page view shows.
    std::optional<std::string> shownFile() { return app::pageFile(browser()->url()); }
    QString pageTitle() {
        return evaluate(browser()->page(), QStringLiteral("document.title")).toString();
    }
    std::string caption() const { return form->windowTitle().toStdString(); }
    std::string label(const char* action) const {
        return form->findChild<QAction*>(QString::fromLatin1(action))->text().toStdString();
    }
    app::ByteListModel& list(const char* name) {
        return *form->findChild<app::ByteListModel*>(QString::fromLatin1(name));
    }
    std::vector<std::string> titles() { return list("titles").items().toVector(); }
    std::vector<std::string> paths() { return list("paths").items().toVector(); }
    int selected() { return list("titles").selectedIndex(); }
    const std::vector<std::string>& errors() const { return dialogs.errors; }

    ScriptedDialogs dialogs;
    platform::PosixFileSystem files;
    platform::SettingsFile settings;
    std::unique_ptr<app::MainWindow> form;
};

// The settings a run stored, read the way the next start-up reads them.
struct StoredSession {
    std::string last = "<missing>";
    std::optional<int> id;
};
inline StoredSession storedSession(const std::string& settingsFile) {
    platform::PosixFileSystem files;
    platform::SettingsFile settings(files, settingsFile);
    StoredSession stored;
    try {
        settings.openKey();
    } catch (const platform::SettingsUnavailable&) {
        stored.last = "<no settings>";
        return stored;
    }
    if (settings.hasValue("last")) {
        stored.last = settings.readString("last");
    }
    if (settings.hasValue("id")) {
        stored.id = settings.readInteger("id");
    }
    settings.closeKey();
    return stored;
}

inline bool exists(const std::string& fileName) {
    return std::filesystem::exists(fileName);
}

}  // namespace pelmaro::test
