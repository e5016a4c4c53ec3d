#include <QObject>
#include <QTest>

#include "app/qt_text.h"
#include "app/window_text.h"
#include "tests/app/app_test_main.h"

using pelmaro::app::applicationTitle;
using pelmaro::app::isolatedText;
using pelmaro::app::placeAccessKeys;
using pelmaro::app::shownText;
using pelmaro::app::withClosingPeriod;

using Labels = std::vector<std::string>;
Q_DECLARE_METATYPE(Labels)
Q_DECLARE_METATYPE(std::string)

namespace {

const Labels kMenu = {"Path", "Search", "New Search", "Bookmark", "New bookmark", "Delete Bookmark",
                      "Open", "Result", "Full search"};

Labels withLast(Labels labels, std::string last) {
    labels.back() = std::move(last);
    return labels;
}

}  // namespace

class WindowTextTest : public QObject {
    Q_OBJECT

private slots:
    void placeAccessKeys_marksFirstFreeLetter_data() {
        QTest::addColumn<Labels>("labels");
        QTest::addColumn<Labels>("expected");
        const Labels placedMenu = {"&Path",     "&Search",       "&New Search",
                                   "&Bookmark", "N&ew bookmark", "&Delete Bookmark",
                                   "&Open",     "&Result",       "&Full search"};
        QTest::newRow("the menu bar as built") << kMenu << placedMenu;
        QTest::newRow("a mark already on a free letter stays")
            << withLast(kMenu, "&Full search") << placedMenu;
        QTest::newRow("a mark on a taken letter moves on")
            << withLast(kMenu, "&Stop search") << withLast(placedMenu, "S&top search");
        QTest::newRow("an unmarked label gets one")
            << withLast(kMenu, "Stop search") << withLast(placedMenu, "S&top search");
        QTest::newRow("a mark later in the label on a free letter stays")
            << withLast(kMenu, "Full searc&h") << withLast(placedMenu, "Full searc&h");
        QTest::newRow("upper and lower case are one key")
            << Labels{"abc", "ABC", "aBc"} << Labels{"&abc", "A&BC", "aB&c"};
        QTest::newRow("digits count, punctuation does not")
            << Labels{"1-2", "-1 2"} << Labels{"&1-2", "-1 &2"};
        QTest::newRow("no free letter leaves no mark")
            << Labels{"ab", "ba", "&ab"} << Labels{"&ab", "&ba", "ab"};
        QTest::newRow("a literal && is kept and never marked")
            << Labels{"&&a", "a&&b"} << Labels{"&&&a", "a&&&b"};
        QTest::newRow("a trailing mark is dropped") << Labels{"x&"} << Labels{"&x"};
        QTest::newRow("bytes above ASCII are no keys")
            << Labels{"\xc3\xa9t\xc3\xa9"} << Labels{"\xc3\xa9&t\xc3\xa9"};
        QTest::newRow("an empty label") << Labels{"", "a"} << Labels{"", "&a"};
    }
    void placeAccessKeys_marksFirstFreeLetter() {
        QFETCH(Labels, labels);
        QFETCH(Labels, expected);
        QCOMPARE(placeAccessKeys(labels), expected);
    }

    void withClosingPeriod_appendsAfterBytesAbovePeriod_data() {
        QTest::addColumn<std::string>("message");
        QTest::addColumn<std::string>("expected");
        QTest::newRow("letter") << std::string("Cannot open file \"/a\". No such file or directory")
                                << std::string(
                                       "Cannot open file \"/a\". No such file or directory.");
        QTest::newRow("closing parenthesis is below")
            << std::string("List index out of bounds (5)")
            << std::string("List index out of bounds (5)");
        QTest::newRow("period") << std::string("done.") << std::string("done.");
        QTest::newRow("hyphen is below") << std::string("a-") << std::string("a-");
        QTest::newRow("slash is above") << std::string("/x/") << std::string("/x/.");
        QTest::newRow("quote is below") << std::string("'x'") << std::string("'x'");
        QTest::newRow("digit is above") << std::string("code 7") << std::string("code 7.");
        QTest::newRow("byte above ASCII")
            << std::string("caf\xc3\xa9") << std::string("caf\xc3\xa9.");
        QTest::newRow("empty") << std::string() << std::string();
    }
    void withClosingPeriod_appendsAfterBytesAbovePeriod() {
        QFETCH(std::string, message);
        QFETCH(std::string, expected);
        QCOMPARE(withClosingPeriod(message), expected);
    }

    void applicationTitle_fromExecutableName_data() {
        QTest::addColumn<std::string>("executable");
        QTest::addColumn<std::string>("expected");
        QTest::newRow("plain") << std::string("pelmaro") << std::string("Pelmaro");
        QTest::newRow("upper case and extension")
            << std::string("PELMARO.EXE") << std::string("Pelmaro");
        QTest::newRow("up to the first dot") << std::string("pel.maro.bin") << std::string("Pel");
        QTest::newRow("starts with a dot") << std::string(".hidden") << std::string();
        QTest::newRow("digit first") << std::string("7Zip") << std::string("7zip");
    }
    void applicationTitle_fromExecutableName() {
        QFETCH(std::string, executable);
        QFETCH(std::string, expected);
        QCOMPARE(applicationTitle(executable), expected);
    }

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

PELMARO_APP_TEST_MAIN(WindowTextTest)
#include "window_text_test.moc"
