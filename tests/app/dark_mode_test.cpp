// Dark mode through the real window and engine, started dark as the program starts when the user
// or the desktop chose it: the page is drawn dark with its images left alone, the window is dark,
// and switching is remembered and says that the pages follow at the next start.
#include <QAction>
#include <QImage>
#include <QStatusBar>
#include <QTest>

#include "app/dark_mode.h"
#include "app/engine_flags.h"
#include "app/page_view.h"
#include "tests/app/program_run.h"

using pelmaro::test::ProgramRun;
using pelmaro::test::SandboxDir;

namespace {

// The colour the view shows at a point of the page (in CSS pixels at 100%).
QColor pixelAt(QWebEngineView* view, QPoint point) {
    const QImage image = view->grab().toImage();
    return image.pixelColor(point * image.devicePixelRatio());
}

}  // namespace

class DarkModeTest : public QObject {
    Q_OBJECT

private slots:
    void darkStart_darkensThePage_notItsImages() {
        SandboxDir dir;
        // A white page with black text, and a white picture of 100 x 100 at (0, 0).
        dir.write("help/a.htm",
                  pelmaro::test::htmlPage(
                      "Light page",
                      "<style>body{margin:0;background:#fff;color:#000}"
                      "img{display:block}</style><img src='pic.png'><p style='height:400px'>"
                      "text</p>"));
        QImage white(100, 100, QImage::Format_RGB32);
        white.fill(Qt::white);
        QVERIFY(white.save(QString::fromStdString(dir / "help/pic.png"), "PNG"));
        ProgramRun run;
        QVERIFY(run.start());
        run.build(dir / "help", false);
        QVERIFY(run.clickTitle(0));
        run.browser()->setZoomFactor(1.0);

        // The engine draws a frame or two after the load has finished.
        QColor background;
        QTRY_VERIFY2_WITH_TIMEOUT(
            (background = pixelAt(run.browser(), QPoint(300, 200))).lightness() < 80,
            qPrintable(background.name()), 3000);
        // A plain white picture is what the engine would take for an icon and invert.
        QColor picture;
        QTRY_VERIFY2_WITH_TIMEOUT(
            (picture = pixelAt(run.browser(), QPoint(50, 50))).lightness() > 230,
            qPrintable(picture.name()), 3000);

        // The window is dark too, and the switch shows it.
        QVERIFY(run.form->palette().color(QPalette::Window).lightness() < 100);
        QVERIFY(run.form->findChild<QAction*>(QStringLiteral("darkMode"))->isChecked());
    }

    void switching_isRemembered_andSaysWhenPagesFollow() {
        SandboxDir dir;
        {
            ProgramRun run;
            QVERIFY(run.start());
            auto* darkMode = run.form->findChild<QAction*>(QStringLiteral("darkMode"));
            QTest::keyClick(run.form.get(), Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
            QVERIFY(!darkMode->isChecked());
            QTRY_VERIFY(run.form->palette().color(QPalette::Window).lightness() > 150);
            // The engine started with dark pages: they stay so until the next start.
            QCOMPARE(run.form->statusBar()->currentMessage(),
                     QStringLiteral("Pages are shown light again from the next start."));
            run.form->close();
        }
        {
            pelmaro::platform::PosixFileSystem files;
            pelmaro::platform::SettingsFile settings(files, dir.settingsFile());
            QVERIFY(!pelmaro::app::startsDark(settings));
        }
        ProgramRun run;
        QVERIFY(run.start());
        QVERIFY(!run.form->findChild<QAction*>(QStringLiteral("darkMode"))->isChecked());
        QTest::keyClick(run.form.get(), Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
        // Back as the engine's pages are: nothing waits for a restart.
        QVERIFY(run.form->findChild<QAction*>(QStringLiteral("darkMode"))->isChecked());
        QVERIFY(run.form->statusBar()->currentMessage().isEmpty());
        pelmaro::app::applyWindowColours(true);
    }
};

// As the program starts: the application first, then the engine's switches with dark pages, and
// the window's colours.
int main(int argc, char** argv) {
    QTemporaryDir home;
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME",
                             "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {
        const QString folder = home.path() + "/" + name;
        QDir().mkpath(folder);
        QFile::setPermissions(
            folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv(name, folder.toUtf8());
    }
    pelmaro::app::registerPageScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    pelmaro::app::setEngineSwitches(true);
    pelmaro::app::applyWindowColours(true);
    DarkModeTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "dark_mode_test.moc"
