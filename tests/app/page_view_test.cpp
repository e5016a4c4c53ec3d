#include <QDesktopServices>
#include <QObject>
#include <QTcpServer>
#include <QTest>
#include <QWebEngineView>

#include "app/page_view.h"
#include "platform/error.h"
#include "tests/app/app_test_main.h"
#include "tests/app/web_helpers.h"
#include "tests/support/temp_dir.h"

using pelmaro::app::pageFile;
using pelmaro::app::pageUrl;
using pelmaro::app::WebPageView;
using pelmaro::test::evaluate;
using pelmaro::test::loadAndWait;
using pelmaro::test::TempDir;

Q_DECLARE_METATYPE(std::string)

// Stands in for the desktop's browser and mail program.
class ExternalOpener : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened << url; }
};

namespace {

std::string htmlPage(const std::string& title, const std::string& body = {}) {
    return "<html><head><title>" + title + "</title></head><body>" + body + "</body></html>";
}

// A real view on screen with its page view.
struct ShownView {
    ShownView() : pages(view) {
        view.resize(400, 300);
        view.show();
        (void)QTest::qWaitForWindowExposed(&view);
    }
    bool show(const std::string& fileName) {
        return loadAndWait(view.page(), [&] { pages.navigate(fileName); });
    }
    QVariant eval(const char* script) { return evaluate(view.page(), QString::fromUtf8(script)); }
    bool click(const char* id) {
        return pelmaro::test::clickElement(&view, view.page(), QString::fromLatin1(id));
    }

    QWebEngineView view;
    WebPageView pages;
};

}  // namespace

class PageViewTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        for (const char* scheme : {"http", "https", "mailto"}) {
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &opener_, "open");
        }
    }

    void cleanupTestCase() {
        for (const char* scheme : {"http", "https", "mailto"}) {
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
        }
    }

    void pageUrl_carriesEveryByteOfTheName_data() {
        QTest::addColumn<std::string>("fileName");
        QTest::newRow("plain") << std::string("/home/me/help/a.htm");
        QTest::newRow("blank, hash, question mark, percent") << std::string("/d/a b#c?d%41.htm");
        QTest::newRow("UTF-8") << std::string("/d/caf\xc3\xa9.htm");
        QTest::newRow("not UTF-8") << std::string("/d/caf\xe9\xff.htm");
    }
    void pageUrl_carriesEveryByteOfTheName() {
        QFETCH(std::string, fileName);
        const QUrl url = pageUrl(fileName);
        QVERIFY(url.isValid());
        QCOMPARE(url.scheme(), QStringLiteral("pelmaro"));
        QCOMPARE(pageFile(url), std::optional<std::string>(fileName));
    }

    void everyCatalogueType_showsAsItsKind_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QVariant>("expected");
        for (const char* html : {".htm", ".html", ".shtm", ".shtml", ".asp", ".cgi"}) {
            QTest::newRow(html) << QString::fromLatin1(html)
                                << QStringLiteral("document.contentType + ' ' + document.title")
                                << QVariant(QStringLiteral("text/html Page ") + html);
        }
        QTest::newRow(".xml") << QStringLiteral(".xml")
                              << QStringLiteral(
                                     "document.contentType + ' ' + "
                                     "document.getElementsByTagName('entry').length")
                              << QVariant(QStringLiteral("text/xml 2"));
        QTest::newRow(".txt") << QStringLiteral(".txt")
                              << QStringLiteral(
                                     "document.contentType + ' ' + "
                                     "document.body.innerText.includes('<b>second')")
                              << QVariant(QStringLiteral("text/plain true"));
        for (const char* image : {".gif", ".jpg", ".bmp"}) {
            QTest::newRow(image) << QString::fromLatin1(image)
                                 << QStringLiteral(
                                        "document.images.length == 1 && "
                                        "document.images[0].naturalWidth > 0")
                                 << QVariant(true);
        }
    }
    void everyCatalogueType_showsAsItsKind() {
        QFETCH(QString, extension);
        QFETCH(QString, script);
        QFETCH(QVariant, expected);
        TempDir dir;
        const std::string ext = extension.toStdString();
        std::string bytes = htmlPage("Page " + ext, "<p>text</p>");
        if (ext == ".xml") {
            bytes = "<?xml version=\"1.0\"?><list><entry>a</entry><entry>b</entry></list>";
        } else if (ext == ".txt") {
            bytes = "first line\r\n<b>second line</b>\r\n";
        } else if (ext == ".gif") {
            bytes = pelmaro::test::gifBytes();
        } else if (ext == ".jpg") {
            bytes = pelmaro::test::imageBytes("JPG");
        } else if (ext == ".bmp") {
            bytes = pelmaro::test::imageBytes("BMP");
        }
        ShownView shown;
        QVERIFY(shown.show(dir.write("page" + ext, bytes)));
        QCOMPARE(evaluate(shown.view.page(), script), expected);
    }

    void relativeStylesheetsImagesLinksAndAnchors_work() {
        TempDir dir;
        dir.write("style/site.css", "#p { color: rgb(1, 2, 3); }");
        dir.write("img/pic.gif", pelmaro::test::gifBytes());
        dir.write("sub/next.htm",
                  htmlPage("Next", "<div style='height:3000px'></div><a name='part2'>here</a>"));
        const std::string first = dir.write(
            "first.htm",
            "<html><head><title>First</title><link rel='stylesheet' href='style/site.css'>"
            "</head><body><p id='p'>x</p><img id='img' src='img/pic.gif'>"
            "<a id='next' href='sub/next.htm#part2'>next</a>"
            "<a id='blank' target='_blank' href='sub/next.htm'>new window</a></body></html>");
        ShownView shown;
        QVERIFY(shown.show(first));
        QCOMPARE(shown.eval("getComputedStyle(document.getElementById('p')).color"),
                 QVariant(QStringLiteral("rgb(1, 2, 3)")));
        QCOMPARE(shown.eval("document.getElementById('img').naturalWidth"), QVariant(1));

        QVERIFY(loadAndWait(shown.view.page(),
                            [&] { shown.eval("document.getElementById('next').click()"); }));
        QCOMPARE(shown.eval("document.title + location.hash"),
                 QVariant(QStringLiteral("Next#part2")));
        QVERIFY(shown.eval("window.scrollY").toInt() > 0);

        QVERIFY(shown.show(first));
        QVERIFY(loadAndWait(shown.view.page(), [&] { QVERIFY(shown.click("blank")); }));
        QCOMPARE(shown.eval("document.title"), QVariant(QStringLiteral("Next")));
    }

    void fileNameThatIsNotUtf8_shows() {
        TempDir dir;
        const std::string name = dir.write("caf\xe9 #1.htm", htmlPage("Latin-1 name"));
        ShownView shown;
        QVERIFY(shown.show(name));
        QCOMPARE(shown.eval("document.title"), QVariant(QStringLiteral("Latin-1 name")));
    }

    void webAndMailLinks_openOutside_andNeverInTheView() {
        TempDir dir;
        const std::string page =
            dir.write("links.htm", htmlPage("Links",
                                            "<a id='web' href='http://example.com/x'>w</a>"
                                            "<a id='mail' href='mailto:a@example.com'>m</a>"));
        ShownView shown;
        QVERIFY(shown.show(page));
        opener_.opened.clear();
        QVERIFY(shown.click("web"));
        QVERIFY(shown.click("mail"));
        QTRY_COMPARE(opener_.opened.size(), 2);
        QCOMPARE(opener_.opened.at(0), QUrl(QStringLiteral("http://example.com/x")));
        QCOMPARE(opener_.opened.at(1), QUrl(QStringLiteral("mailto:a@example.com")));
        QCOMPARE(shown.eval("document.title"), QVariant(QStringLiteral("Links")));
        QCOMPARE(pageFile(shown.view.url()), std::optional<std::string>(page));
    }

    void pages_neverReachTheNetwork() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const std::string origin = "http://127.0.0.1:" + std::to_string(server.serverPort());
        TempDir dir;
        const std::string page = dir.write(
            "remote.htm",
            "<html><head><title>Remote</title><link rel='stylesheet' href='" + origin +
                "/s.css'><script src='" + origin + "/s.js'></script></head><body><img src='" +
                origin + "/i.png'><iframe src='" + origin + "/f.htm'></iframe><script>fetch('" +
                origin + "/x').catch(() => {});</script></body></html>");
        ShownView shown;
        QVERIFY(shown.show(page));
        QTest::qWait(300);
        QVERIFY(!server.hasPendingConnections());
        QVERIFY(!server.waitForNewConnection(200));
        QCOMPARE(shown.eval("document.title"), QVariant(QStringLiteral("Remote")));
    }

    void nameWithoutItsFolder_isRefused() {
        QWebEngineView view;
        WebPageView pages(view);
        for (const std::string name : {"", "a.htm", "D:\\help\\a.htm"}) {
            try {
                pages.navigate(name);
                QFAIL(("no error for \"" + name + "\"").c_str());
            } catch (const pelmaro::Error& error) {
                QCOMPARE(std::string(error.what()),
                         "Cannot show \"" + name + "\". It is not a full file name");
            }
        }
    }

private:
    ExternalOpener opener_;
};

PELMARO_APP_TEST_MAIN(PageViewTest)
#include "page_view_test.moc"
