#include <unistd.h>

#include <QApplication>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>

#include "app/dark_mode.h"
#include "app/main_window.h"
#include "app/page_view.h"
#include "app/qt_dialogs.h"
#include "app/qt_text.h"
#include "app/quit_signals.h"
#include "app/reader_arguments.h"
#include "app/start_command.h"
#include "platform/file_system.h"
#include "platform/settings_file.h"
#include "window_text/window_text.h"

int main(int argc, char** argv) {
    using namespace pelmaro;
    // The arguments are read before the toolkit starts: help, the version and a wrong call need
    // no display.
    const app::ReaderArguments arguments = app::parseReaderArguments(argc, argv);
    switch (arguments.action) {
        case app::ReaderArguments::Action::Help:
            std::fputs(app::readerHelp(), stdout);
            return std::fflush(stdout) == 0 ? 0 : 2;
        case app::ReaderArguments::Action::Version:
            std::fputs(app::readerVersion(), stdout);
            return std::fflush(stdout) == 0 ? 0 : 2;
        case app::ReaderArguments::Action::UsageError:
            std::fprintf(stderr, "pelmaro: %s\n%s", arguments.message.c_str(), app::readerUsage());
            return 2;
        default:
            break;
    }

    // The engine's sandbox refuses to run as root, and the engine then ends the process with a
    // line in its own log; as root the reader runs without it, and says so.
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        std::fputs("pelmaro: running as root: the page view runs without its sandbox\n", stderr);
    }
    app::registerPageScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    platform::PosixFileSystem files;
    platform::SettingsFile settings(files, platform::defaultSettingsFileName());
    // Before the engine starts, which reads whether to darken pages only then; the desktop's
    // colours are known once the application is.
    const bool dark = app::startsDark(settings);
    app::setEngineSwitches(dark);
    app::applyWindowColours(dark);
    // The desktop entry's name: the desktop finds the window's icon and name by it.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.pelmaro.Pelmaro"));

    const std::string executable =
        app::fileNameBytes(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    app::QtDialogs dialogs(app::toQString(window_text::applicationTitle(executable)));

    app::MainWindow window({dialogs, settings, files, &dialogs});
    // kill, a logout and Ctrl+C close the window as the user would: the session is stored and the
    // program ends with status 0. Watched before start-up, so that a signal that comes while it
    // runs is answered once the window's loop runs.
    app::QuitSignals quitSignals([&window] {
        if (window.close()) {
            QCoreApplication::quit();
        }
    });
    window.start();
    window.showMaximized();
    // A session that ends without closing the window still stores the settings and bookmarks
    // (shutdown runs once, whichever comes first).
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &window,
                     [&window] { window.shutdown(); });
    // A folder or catalogue named on the command line is taken once the window runs, as if its
    // key had been pressed then.
    QTimer::singleShot(0, &window, [&window, &arguments] {
        // Not once a signal has closed the window: nothing starts after the session is stored.
        if (window.isVisible()) {
            app::runStartCommand(window, arguments);
        }
    });
    return QApplication::exec();
}
