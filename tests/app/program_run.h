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

#include "app/list_box.h"
#include "app/main_window.h"
#include "app/page_view.h"
#include "platform/file_system.h"
#include "platform/settings_file.h"
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

// Does what the user does while a long command runs: `action` (a key press, a close) runs once
// the window has handled pending events `pumps` times, from inside the command's own event
// pumping. Each pump delivers the probe once (events posted while posted events are delivered
// wait for the next pump), so the action comes after about `pumps` steps of the command.
class AfterPumps final : public QObject {
public:
    AfterPumps(int pumps, std::function<void()> action) : action_(std::move(action)), left_(pumps) {
        post();
    }
    bool done() const { return done_; }

protected:
    bool event(QEvent* event) override {
        if (event->type() != probeType()) {
            return QObject::event(event);
        }
        if (--left_ > 0) {
            post();
        } else {
            done_ = true;
            action_();
        }
        return true;
    }

private:
    static QEvent::Type probeType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    void post() { QCoreApplication::postEvent(this, new QEvent(probeType())); }

    std::function<void()> action_;
    int left_;
    bool done_ = false;
};

// One run of the program, wired as main() wires it (settings in $XDG_CONFIG_HOME, the real file
// system, the real page view), except that the dialogs answer from a script and the error box is
// recorded instead of shown.
class ProgramRun {
public:
    ProgramRun()
        : settings(platform::defaultSettingsFileName()),
          form(std::make_unique<app::TForm1>(app::FormServices{
              dialogs, settings, files, [this](QDialog& dialog) {
                  errors.push_back(dynamic_cast<QMessageBox&>(dialog).text().toStdString());
                  return static_cast<int>(QMessageBox::Ok);
              }})) {}

    // Start-up, then the window shown and active, so that the command keys reach it.
    bool start() {
        form->FormCreate();
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get())) {
            return false;
        }
        form->activateWindow();
        return QTest::qWaitForWindowActive(form.get());
    }

    // A key press addressed to the window, as the user gives it; the command runs to its end.
    void press(Qt::Key key) { QTest::keyClick(form.get(), key); }
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

    // Clicks the row of a list view ("ListBox1", "ListBox3", "ListBox4") with the mouse.
    void clickRow(const char* list, int row) {
        auto* view = form->findChild<app::ListBox*>(QString::fromLatin1(list));
        const QModelIndex index = view->model()->index(row, 0);
        view->scrollTo(index);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
    }
    void doubleClickRow(const char* list, int row) {
        auto* view = form->findChild<app::ListBox*>(QString::fromLatin1(list));
        clickRow(list, row);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {},
                           view->visualRect(view->model()->index(row, 0)).center());
    }
    // Clicks a title and waits until its page has loaded.
    bool clickTitle(int row) {
        return loadAndWait(browser()->page(), [&] { clickRow("ListBox1", row); });
    }
    // A list view shown on the screen (ListBox3 and ListBox4 lie over the page view).
    bool shown(const char* list) {
        return form->findChild<app::ListBox*>(QString::fromLatin1(list))->isVisible();
    }

    QWebEngineView* browser() { return form->findChild<QWebEngineView*>("WebBrowser1"); }
    // The file the page view shows.
    std::optional<std::string> shownFile() { return app::pageFile(browser()->url()); }
    QString pageTitle() {
        return evaluate(browser()->page(), QStringLiteral("document.title")).toString();
    }
    std::string caption() const { return form->windowTitle().toStdString(); }
    std::string label(const char* action) const {
        return form->findChild<QAction*>(QString::fromLatin1(action))->text().toStdString();
    }
    std::vector<std::string> titles() { return form->titles().items().toVector(); }
    std::vector<std::string> paths() { return form->paths().items().toVector(); }
    int selected() { return form->titles().selectedIndex(); }

    ScriptedDialogs dialogs;
    platform::SettingsFile settings;
    platform::PosixFileSystem files;
    std::vector<std::string> errors;
    std::unique_ptr<app::TForm1> form;
};

// The settings a run stored, read the way the next start-up reads them.
struct StoredSession {
    std::string last = "<missing>";
    std::optional<int> id;
};
inline StoredSession storedSession(const std::string& settingsFile) {
    platform::SettingsFile settings(settingsFile);
    StoredSession stored;
    if (!settings.openKey()) {
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
