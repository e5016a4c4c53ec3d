#include <QApplication>
#include <QFile>
#include <QFileInfo>

#include "app/main_window.h"
#include "app/page_view.h"
#include "app/qt_dialogs.h"
#include "app/window_text.h"
#include "platform/file_system.h"
#include "platform/settings_file.h"

int main(int argc, char** argv) {
    using namespace pelmaro;
    app::setEngineSwitches();
    app::registerPageScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);

    const std::string executable =
        QFile::encodeName(QFileInfo(QCoreApplication::applicationFilePath()).fileName())
            .toStdString();
    app::QtDialogs dialogs(QString::fromUtf8(app::applicationTitle(executable)));
    platform::SettingsFile settings(platform::defaultSettingsFileName());
    platform::PosixFileSystem files;

    app::TForm1 form({dialogs, settings, files, {}});
    dialogs.attach(&form, &form);
    form.FormCreate();
    form.showMaximized();
    // A session that ends without closing the window still stores the settings and bookmarks
    // (FormDestroy runs once, whichever comes first).
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &form,
                     [&form] { form.FormDestroy(); });
    return QApplication::exec();
}
