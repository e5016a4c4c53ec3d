#include <QObject>
#include <QTest>
#include <string>

#include "app/engine_flags.h"

Q_DECLARE_METATYPE(std::string)

class EngineFlagsTest : public QObject {
    Q_OBJECT

private slots:
    void engineSwitches_joinTheUsers_data() {
        QTest::addColumn<std::string>("user");
        QTest::addColumn<std::string>("expectedStart");
        QTest::newRow("none") << std::string() << std::string("--force-webrtc");
        QTest::newRow("the user's")
            << std::string("--enable-logging") << std::string("--enable-logging --force-webrtc");
        QTest::newRow("the user's features")
            << std::string("--disable-features=Foo --x")
            << std::string("--disable-features=Foo,WebRtcHideLocalIpsWithMdns --x --force-webrtc");
    }
    void engineSwitches_joinTheUsers() {
        QFETCH(std::string, user);
        QFETCH(std::string, expectedStart);
        const std::string flags = pelmaro::app::engineSwitches(user);
        QCOMPARE(flags.substr(0, expectedStart.size()), expectedStart);
        for (const char* wanted :
             {"--force-webrtc-ip-handling-policy=disable_non_proxied_udp",
              "\"--host-resolver-rules=MAP * ~NOTFOUND\"", "WebRtcHideLocalIpsWithMdns"}) {
            QVERIFY2(flags.find(wanted) != std::string::npos, wanted);
        }
        QCOMPARE(flags.find("--disable-features"), flags.rfind("--disable-features"));
    }
};

QTEST_APPLESS_MAIN(EngineFlagsTest)
#include "engine_flags_test.moc"
