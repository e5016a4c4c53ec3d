// The reader started as a program by root, as on a machine without other users: the engine's
// sandbox refuses to run as root and would end the process at once.
#include <unistd.h>

#include <QProcess>
#include <QTest>

#include "tests/app/app_test_main.h"
#include "tests/app/program_run.h"

class RootStartTest : public QObject {
    Q_OBJECT

private slots:
    void asRoot_withoutTheSandboxVariable_runsAndSaysSo() {
        if (::geteuid() != 0) {
            QSKIP("not run as root: the engine's sandbox runs");
        }
        pelmaro::test::SandboxDir dir;
        QProcess reader;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"));
        reader.setProcessEnvironment(environment);
        reader.start(QStringLiteral(PELMARO_READER), {});
        QVERIFY(reader.waitForStarted());

        // Start-up stores its settings file once the engine has started.
        QTRY_VERIFY_WITH_TIMEOUT(
            pelmaro::test::exists(dir.settingsFile()) || reader.state() == QProcess::NotRunning,
            60000);
        // The engine ends a process it refuses within a moment of its event loop starting.
        QTest::qWait(2000);
        QCOMPARE(reader.state(), QProcess::Running);
        reader.terminate();
        QVERIFY(reader.waitForFinished());
        QCOMPARE(reader.readAllStandardError().split('\n').constFirst(),
                 QByteArray("pelmaro: running as root: the page view runs without its sandbox"));
    }
};

PELMARO_APP_TEST_MAIN(RootStartTest)
#include "root_start_test.moc"
