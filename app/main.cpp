#include <QApplication>
#include <QFileInfo>

#include "app/main_window.h"
#include "app/page_view.h"
#include "app/qt_dialogs.h"
#include "app/qt_text.h"
#include "app/window_text.h"
#include "platform/file_system.h"
#include "platform/settings_file.h"

int main(int argc, char** argv) {
    using namespace pelmaro;
    app::registerPageScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);

    const std::string executable =
        app::fileNameBytes(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    app::QtDialogs dialogs(app::toQString(app::applicationTitle(executable)));
    platform::PosixFileSystem files;
    platform::SettingsFile settings(files, platform::defaultSettingsFileName());

    app::MainWindow window({dialogs, settings, files, &dialogs});
    window.start();
    window.showMaximized();
    // A session that ends without closing the window still stores the settings and bookmarks
    // (shutdown runs once, whichever comes first).
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &window,
                     [&window] { window.shutdown(); });
    return QApplication::exec();
}
