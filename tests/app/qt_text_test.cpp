#include <QObject>
#include <QTest>

#include "app/qt_text.h"
#include "tests/app/app_test_main.h"

using pelmaro::app::isolatedText;
using pelmaro::app::shownText;

Q_DECLARE_METATYPE(std::string)

class QtTextTest : public QObject {
    Q_OBJECT

private slots:
    void shownText_marksEveryBidiControl_andNothingElse_data() {
        QTest::addColumn<std::string>("bytes");
        QTest::addColumn<QString>("expected");
        // \uFFFD is the mark every control is shown as.
        QTest::newRow("a right-to-left override before a reversed extension")
            << std::string("report\u202Efdp.exe") << QStringLiteral("report\uFFFDfdp.exe");
        QTest::newRow("marks, embeddings and isolates, each one")
            << std::string(
                   "a\u200Eb\u200Fc\u061Cd\u202Ae\u202Bf\u202Cg\u202Dh\u2066i\u2067j"
                   "\u2068k\u2069l")
            << QStringLiteral(
                   "a\uFFFDb\uFFFDc\uFFFDd\uFFFDe\uFFFDf\uFFFDg\uFFFDh\uFFFDi"
                   "\uFFFDj\uFFFDk\uFFFDl");
        QTest::newRow("neighbours of the controls stay")
            << std::string("\u200D\u2010\u2029\u202F\u2065\u206A\u061B")
            << QStringLiteral("\u200D\u2010\u2029\u202F\u2065\u206A\u061B");
        QTest::newRow("right-to-left letters stay") << std::string("\u05E9\u05DC\u05D5\u05DD")
                                                    << QStringLiteral("\u05E9\u05DC\u05D5\u05DD");
        QTest::newRow("invalid bytes stay replacement characters")
            << std::string("a\xff") << QStringLiteral("a\uFFFD");
        QTest::newRow("empty") << std::string() << QString();
    }
    void shownText_marksEveryBidiControl_andNothingElse() {
        QFETCH(std::string, bytes);
        QFETCH(QString, expected);
        QCOMPARE(shownText(bytes), expected);
    }

    void isolatedText_marksControls_insideOneBalancedIsolate() {
        QCOMPARE(isolatedText(QStringLiteral("https://x/\u2069\u202Egpj.exe")),
                 QStringLiteral("\u2068https://x/\uFFFD\uFFFDgpj.exe\u2069"));
        QCOMPARE(isolatedText(QString()), QStringLiteral("\u2068\u2069"));
    }
};

PELMARO_APP_TEST_MAIN(QtTextTest)
#include "qt_text_test.moc"
