// The reader started as a program and ended by a signal, as a logout, kill or Ctrl+C end it: it
// closes as if the user had closed its window, storing the session, and ends with status 0.
#include <signal.h>

#include <QFile>
#include <QProcess>
#include <QTest>
#include <chrono>

#include "catalogue/catalogue_builder.h"
#include "tests/app/app_test_main.h"
#include "tests/app/program_run.h"

namespace {

// Whether the process `pid` has a handler of its own for `signal`, from the kernel's mask of
// caught signals ("SigCgt:\t0000000000004a02" in /proc/PID/status).
bool catches(qint64 pid, int signal) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return false;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:")) {
            bool valid = false;
            const qulonglong mask = line.mid(7).trimmed().toULongLong(&valid, 16);
            return valid && (mask >> (signal - 1) & 1) != 0;
        }
    }
    return false;
}

}  // namespace

class QuitSignalTest : public QObject {
    Q_OBJECT

private slots:
    void signal_closesTheWindowStoresTheSessionAndExitsWithZero_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void signal_closesTheWindowStoresTheSessionAndExitsWithZero() {
        using namespace pelmaro;
        QFETCH(int, signal);
        test::SandboxDir dir;
        for (const char* name : {"a", "b", "c"}) {
            dir.write(std::string("docs/") + name + ".htm", test::htmlPage(name));
        }
        platform::PosixFileSystem files;
        const BuiltCatalogue built = buildCatalogue(files, dir / "docs", {});
        const std::string bookmarkFile =
            saveCatalogue(files, dir / "docs", built.titles, built.paths).bookmarkFile;
        // The last session's entry is one the catalogue no longer has: start-up selects the first
        // one instead, and only a stored session says 0.
        platform::SettingsFile settings(files, dir.settingsFile());
        settings.openKey();
        settings.writeString("last", bookmarkFile);
        settings.writeInteger("id", 7);
        settings.closeKey();

        QProcess reader;
        reader.setProcessChannelMode(QProcess::ForwardedChannels);
        reader.start(QStringLiteral(PELMARO_READER), {});
        QVERIFY(reader.waitForStarted());
        // Once it watches for the signal, a signal is answered after start-up, whenever it comes.
        QTRY_VERIFY_WITH_TIMEOUT(catches(reader.processId(), signal), 60000);
        const auto sent = std::chrono::steady_clock::now();
        QCOMPARE(::kill(static_cast<pid_t>(reader.processId()), signal), 0);
        QVERIFY(reader.waitForFinished(60000));
        const auto took = std::chrono::steady_clock::now() - sent;
        QCOMPARE(reader.exitStatus(), QProcess::NormalExit);
        QCOMPARE(reader.exitCode(), 0);
        QVERIFY2(took < std::chrono::seconds(5), "the program took 5 s or more to end");

        const test::StoredSession stored = test::storedSession(dir.settingsFile());
        QCOMPARE(stored.last, bookmarkFile);
        QCOMPARE(stored.id, std::optional<int>(0));
    }
};

PELMARO_APP_TEST_MAIN(QuitSignalTest)
#include "quit_signal_test.moc"
