#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>

#include "app/main_window.h"
#include "app/page_view.h"
#include "app/qt_dialogs.h"
#include "app/reader_arguments.h"
#include "app/start_command.h"
#include "app/window_text.h"
#include "platform/file_system.h"
#include "platform/settings_file.h"

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

    app::registerPageScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    // The desktop entry's name: the desktop finds the icon and the name for the window by it.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.pelmaro.Pelmaro"));

    const std::string executable =
        QFile::encodeName(QFileInfo(QCoreApplication::applicationFilePath()).fileName())
            .toStdString();
    app::QtDialogs dialogs(QString::fromUtf8(app::applicationTitle(executable)));
    app::AnsweringDialogs answering(dialogs);
    platform::SettingsFile settings(platform::defaultSettingsFileName());
    platform::PosixFileSystem files;

    app::TForm1 form({answering, settings, files, {}});
    dialogs.attach(&form, &form);
    form.FormCreate();
    form.showMaximized();
    // A session that ends without closing the window still stores the settings and bookmarks
    // (FormDestroy runs once, whichever comes first).
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &form,
                     [&form] { form.FormDestroy(); });
    // A folder or catalogue named on the command line is taken once the window runs, as if its
    // key had been pressed then.
    QTimer::singleShot(0, &form, [&form, &answering, &arguments] {
        app::runStartCommand(form, answering, arguments);
    });
    return QApplication::exec();
}
