// The window manager's close while a box of ours is open, on the real window with real boxes:
// the box is cancelled, the window closes, and nothing half-done is stored. The close is sent as
// a window manager sends it, a WM_DELETE_WINDOW message to the window, which the toolkit drops
// on its own while a modal box blocks the window.
#include <xcb/xcb.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

#include "app/main_window.h"
#include "app/qt_dialogs.h"
#include "platform/file_system.h"
#include "platform/settings_file.h"
#include "reader/reader.h"
#include "tests/app/app_test_main.h"
#include "tests/app/program_run.h"

using pelmaro::test::exists;
using pelmaro::test::SandboxDir;

namespace {

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// What the window manager does when the user clicks the window's close button.
bool sendWindowManagerClose(QWidget& window) {
    const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || window.windowHandle() == nullptr) {
        return false;
    }
    xcb_connection_t* connection = x11->connection();
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = static_cast<xcb_window_t>(window.windowHandle()->winId());
    event.type = atom(connection, "WM_PROTOCOLS");
    event.data.data32[0] = atom(connection, "WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(connection, 0, event.window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(connection);
    return true;
}

// The program as main() wires it: real boxes, run modally, the real files and settings.
struct RealRun {
    RealRun()
        : settings(files, pelmaro::platform::defaultSettingsFileName()),
          form(std::make_unique<pelmaro::app::MainWindow>(
              pelmaro::app::WindowServices{dialogs, settings, files, &dialogs})) {}

    bool start() {
        form->start();
        form->show();
        return QTest::qWaitForWindowExposed(form.get());
    }

    pelmaro::app::QtDialogs dialogs{QStringLiteral("Pelmaro")};
    pelmaro::platform::PosixFileSystem files;
    pelmaro::platform::SettingsFile settings;
    std::unique_ptr<pelmaro::app::MainWindow> form;
};

// Once a message box is open, from inside its loop (the test's own code waits under it): its
// text is kept and the window manager's close is sent. A box still open 10 s later is rejected,
// so that a close that does nothing fails the test instead of hanging it.
class CloseWhenBoxOpens {
public:
    explicit CloseWhenBoxOpens(QWidget& window) : window_(window) {
        poll_.setInterval(20);
        QObject::connect(&poll_, &QTimer::timeout, [this] { check(); });
        poll_.start();
    }

    QString boxText;
    bool sent = false;
    QElapsedTimer sinceClose;

private:
    void check() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        if (!sent) {
            boxText = box->text();
            sent = sendWindowManagerClose(window_);
            sinceClose.start();
        } else if (sinceClose.elapsed() > 10000) {
            box->reject();
            poll_.stop();
        }
    }

    QWidget& window_;
    QTimer poll_;
};

}  // namespace

class WindowCloseTest : public QObject {
    Q_OBJECT

private slots:
    void windowManagerClose_duringTheSaveQuestion_answersNo_andCloses() {
        SandboxDir dir;
        pelmaro::test::writeNumberedPages(dir, "pages", 3, "text");
        RealRun run;
        QVERIFY(run.start());
        CloseWhenBoxOpens closer(*run.form);
        // The question comes from the build's end, a task posted to the window.
        run.form->reader().buildFolder(dir / "pages");

        QTRY_VERIFY_WITH_TIMEOUT(!run.form->isVisible(), 20000);
        QVERIFY(closer.sent);
        QVERIFY2(closer.boxText.startsWith(QStringLiteral("save the result ?")),
                 qPrintable(closer.boxText));
        QVERIFY2(closer.sinceClose.elapsed() < 5000,
                 qPrintable(QString::number(closer.sinceClose.elapsed())));
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QVERIFY(!run.form->reader().busy());
        QVERIFY(!exists(dir / "pages/pelmaropath.title"));
        QVERIFY(!exists(dir / "pages/pelmaropath.path"));
        // Shutdown ran, and stored that no catalogue is current.
        QCOMPARE(pelmaro::test::storedSession(dir.settingsFile()).last, std::string());
    }

    void windowManagerClose_duringAnErrorBox_closes_andTheBoxShowsNamesNeutralised() {
        SandboxDir dir;
        // Two paths and one title: opening the pair fails, and the box quotes both names.
        const std::string pathFile = dir.write("broken\u202Egpj.path", "/a.htm\r\n/b.htm\r\n");
        dir.write("broken\u202Egpj.title", "A\r\n");
        RealRun run;
        QVERIFY(run.start());
        CloseWhenBoxOpens closer(*run.form);
        // The error comes from the opening's end, a task posted to the window.
        run.form->reader().openCatalogue(pathFile);

        QTRY_VERIFY_WITH_TIMEOUT(!run.form->isVisible(), 20000);
        QVERIFY(closer.sent);
        QVERIFY2(closer.boxText.startsWith(QStringLiteral("The catalogue files \"")),
                 qPrintable(closer.boxText));
        QVERIFY(closer.boxText.contains(QStringLiteral("broken\uFFFDgpj.title")));
        QVERIFY(!closer.boxText.contains(QChar(0x202E)));
        QVERIFY2(closer.sinceClose.elapsed() < 5000,
                 qPrintable(QString::number(closer.sinceClose.elapsed())));
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QCOMPARE(run.form->reader().currentCatalogue().bookmarkFile(), std::string());
        QCOMPARE(pelmaro::test::storedSession(dir.settingsFile()).last, std::string());
    }
};

PELMARO_APP_TEST_MAIN(WindowCloseTest)
#include "window_close_test.moc"
