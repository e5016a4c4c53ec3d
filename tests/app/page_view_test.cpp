#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QUdpSocket>
#include <QWebEngineView>
#include <filesystem>

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
    QVariant eval(const QString& script) { return evaluate(view.page(), script); }
    QVariant eval(const char* script) { return eval(QString::fromUtf8(script)); }
    // The page's `results` once its `done` is set, as JSON.
    QJsonObject results() {
        if (!QTest::qWaitFor([&] { return eval("window.done === true").toBool(); }, 15000)) {
            return {};
        }
        return QJsonDocument::fromJson(eval("JSON.stringify(results)").toString().toUtf8())
            .object();
    }
    bool click(const char* id) {
        return pelmaro::test::clickElement(&view, view.page(), QString::fromLatin1(id));
    }

    QWebEngineView view;
    WebPageView pages;
};

// Reports every open of the files in a folder (or of one file), as the kernel sees it.
class OpenWatch {
public:
    OpenWatch() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    ~OpenWatch() { ::close(fd_); }
    OpenWatch(const OpenWatch&) = delete;
    OpenWatch& operator=(const OpenWatch&) = delete;

    bool add(const std::string& name) {
        return ::inotify_add_watch(fd_, name.c_str(), IN_OPEN | IN_ACCESS) >= 0;
    }
    int opens() {
        alignas(inotify_event) char buffer[4096];
        for (ssize_t got; (got = ::read(fd_, buffer, sizeof buffer)) > 0;) {
            for (char* at = buffer; at < buffer + got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                ++opens_;
                at += sizeof(inotify_event) + event->len;
            }
        }
        return opens_;
    }

private:
    int fd_;
    int opens_ = 0;
};

// The reading part of a hostile page: `read(key, url)` records what a synchronous XHR got.
constexpr char kReader[] = R"(
<script>
var results = {}, done = false;
function read(key, url) {
  try {
    const x = new XMLHttpRequest(); x.open('GET', url, false); x.send();
    results[key] = x.status === 200 ? 'read: ' + x.responseText.slice(0, 40) : 'status ' + x.status;
  } catch (e) { results[key] = 'refused'; }
}
</script>)";

}  // namespace

class PageViewTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // The desktop's opener: a fake xdg-open that logs what it was given.
        const std::string script = "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + openerLog() + "'\n";
        QVERIFY(std::filesystem::exists(bin_.write("xdg-open", script)));
        std::filesystem::permissions(bin_ / "xdg-open", std::filesystem::perms::owner_all);
        qputenv("PATH",
                QByteArray::fromStdString(bin_.path() + ":" + qgetenv("PATH").toStdString()));
        qunsetenv("BROWSER");
        qunsetenv("DEFAULT_BROWSER");
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
        const QUrl url = pageUrl(QStringLiteral("tree7"), fileName);
        QVERIFY(url.isValid());
        QCOMPARE(url.scheme(), QStringLiteral("pelmaro"));
        QCOMPARE(url.host(), QStringLiteral("tree7"));
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

    void textFiles_showInTheEncodingTheirTitleIsReadIn_data() {
        QTest::addColumn<std::string>("bytes");
        QTest::addColumn<QString>("encoding");
        QTest::newRow("UTF-8") << std::string("H\xC3\xA4ring\n") << QStringLiteral("UTF-8");
        QTest::newRow("windows-1252")
            << std::string("H\xE4ring\n") << QStringLiteral("windows-1252");
        QTest::newRow("UTF-8 with a byte-order mark")
            << std::string("\xEF\xBB\xBFH\xC3\xA4ring") << QStringLiteral("UTF-8");
        QTest::newRow("UTF-16 with a byte-order mark")
            << std::string("\xFF\xFEH\0\xE4\0r\0i\0n\0g\0", 14) << QStringLiteral("UTF-16LE");
        // The head that decides ends inside the first "ä".
        QTest::newRow("UTF-8 cut by the head")
            << std::string(4095, 'a') + "\xC3\xA4 H\xC3\xA4ring" << QStringLiteral("UTF-8");
    }
    void textFiles_showInTheEncodingTheirTitleIsReadIn() {
        QFETCH(std::string, bytes);
        QFETCH(QString, encoding);
        TempDir dir;
        ShownView shown;
        QVERIFY(shown.show(dir.write("notes.txt", bytes)));
        QCOMPARE(shown.eval("document.characterSet"), QVariant(encoding));
        QCOMPARE(shown.eval("document.body.innerText.includes('H\\u00e4ring')"), QVariant(true));
    }

    void relativeStylesheetsImagesLinksAndAnchors_work() {
        TempDir dir;
        dir.write("style/site.css", "#p { color: rgb(1, 2, 3); }");
        dir.write("img/pic.gif", pelmaro::test::gifBytes());
        dir.write("sub/next.htm",
                  htmlPage("Next", "<div style='height:3000px'></div><a name='part2'>here</a>"));
        dir.write("sub/by-file.htm", htmlPage("By file"));
        const std::string first = dir.write(
            "first.htm",
            "<html><head><title>First</title><link rel='stylesheet' href='style/site.css'>"
            "</head><body><p id='p'>x</p><img id='img' src='img/pic.gif'>"
            "<a id='next' href='sub/next.htm#part2'>next</a>"
            "<a id='blank' target='_blank' href='sub/next.htm'>new window</a>"
            "<a id='file' href='file://" +
                (dir / "sub/by-file.htm") + "'>by file: URL</a></body></html>");
        ShownView shown;
        shown.pages.setCatalogueFolder(dir.path());
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

        QVERIFY(shown.show(first));
        const QString tree = shown.view.url().host();
        QVERIFY(loadAndWait(shown.view.page(), [&] { QVERIFY(shown.click("file")); }));
        QCOMPARE(shown.eval("document.title"), QVariant(QStringLiteral("By file")));
        QCOMPARE(shown.view.url().host(), tree);
    }

    void fileNameThatIsNotUtf8_shows() {
        TempDir dir;
        const std::string name = dir.write("caf\xe9 #1.htm", htmlPage("Latin-1 name"));
        ShownView shown;
        QVERIFY(shown.show(name));
        QCOMPARE(shown.eval("document.title"), QVariant(QStringLiteral("Latin-1 name")));
    }

    // Whatever a page loads comes from its own tree; the user opens any entry wherever it lies.
    void hostilePage_readsOnlyItsOwnTree() {
        TempDir dir;
        const std::string tree = dir.mkdir("tree");
        dir.write("tree/own.txt", "own text");
        dir.write("tree/sub/own2.txt", "own text 2");
        dir.write("outside/secret.txt", "the secret");
        dir.write("outside/secret.gif", pelmaro::test::gifBytes());
        const std::string elsewhere = dir.write("outside/entry.htm", htmlPage("Elsewhere"));
        const std::string fifo = tree + "/fifo.txt";
        QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
        std::filesystem::create_symlink(dir / "outside/secret.txt", tree + "/link.txt");
        std::filesystem::create_symlink(dir / "outside", tree + "/linked-folder");
        std::filesystem::create_symlink(elsewhere, tree + "/entry-link.htm");
        const std::string other = dir.write("other/page.htm", htmlPage("Other"));
        dir.write("other/theirs.txt", "another tree's text");

        ShownView shown;
        QVERIFY(shown.show(other));  // a tree the reader knows, another origin
        const QUrl otherUrl = shown.view.url();
        const std::string otherFile =
            "pelmaro://" + otherUrl.host().toStdString() + dir.path() + "/other/theirs.txt";
        const std::string out = dir / "outside";
        const std::string page = dir.write(
            "tree/hostile.htm",
            "<html><head><title>Hostile</title>" + std::string(kReader) +
                "<link rel='stylesheet' href='../outside/secret.txt'>"
                "<script src='linked-folder/secret.txt'></script></head><body>"
                "<img id='abs' src='" +
                out +
                "/secret.gif'><img id='up' src='../outside/secret.gif'>"
                "<img id='linked' src='linked-folder/secret.gif'>"
                "<img id='file' src='file://" +
                out +
                "/secret.gif'>"
                "<iframe src='" +
                out +
                "/secret.txt'></iframe>"
                "<iframe src='file://" +
                out +
                "/secret.txt'></iframe>"
                "<iframe src='" +
                otherFile +
                "'></iframe>"
                "<script>"
                "read('own', 'own.txt'); read('own2', 'sub/own2.txt');"
                "read('absolute', '" +
                out +
                "/secret.txt');"
                "read('up', '../outside/secret.txt');"
                "read('link', 'link.txt'); read('linkedFolder', 'linked-folder/secret.txt');"
                "read('file', 'file://" +
                out +
                "/secret.txt'); read('fileFolder', 'file:///etc/');"
                "read('fileFifo', 'file://" +
                fifo +
                "'); read('fifo', 'fifo.txt');"
                "read('proc', '/proc/self/environ'); read('otherTree', '" +
                otherFile +
                "');"
                "read('entryLink', 'entry-link.htm');"
                "fetch('" +
                otherFile +
                "').then(r => r.text()).then(t => results.fetch = t,"
                " () => results.fetch = 'refused');"
                // A frame of no origin asks for the tree's own files.
                "const opaque = document.createElement('iframe');"
                "opaque.setAttribute('sandbox', 'allow-scripts');"
                "opaque.srcdoc = \"<script>try { const x = new XMLHttpRequest();"
                " x.open('GET', location.ancestorOrigins[0] + '" +
                tree +
                "/own.txt', false);"
                " x.send(); parent.postMessage('read: ' + x.responseText, '*'); }"
                " catch (e) { parent.postMessage('refused', '*'); }<\\/script>\";"
                "addEventListener('message', e => results.sandboxed = e.data);"
                "document.body.appendChild(opaque);"
                "setTimeout(() => { for (const i of document.images)"
                " results['img ' + i.id] = i.naturalWidth; done = true; }, 1000);"
                "</script></body></html>");

        OpenWatch opens;
        QVERIFY(opens.add(out));
        QVERIFY(opens.add(fifo));
        QVERIFY(opens.add(dir / "other/theirs.txt"));
        shown.pages.setCatalogueFolder(tree);
        QVERIFY(shown.show(page));
        const QJsonObject results = shown.results();
        const QJsonObject expected{
            {"own", "read: own text"},
            {"own2", "read: own text 2"},
            {"absolute", "refused"},
            {"up", "refused"},
            {"link", "refused"},
            {"linkedFolder", "refused"},
            {"file", "refused"},
            {"fileFolder", "refused"},
            {"fileFifo", "refused"},
            {"fifo", "refused"},
            {"proc", "refused"},
            {"otherTree", "refused"},
            {"entryLink", "refused"},
            {"fetch", "refused"},
            {"sandboxed", "refused"},
            {"img abs", 0},
            {"img up", 0},
            {"img linked", 0},
            {"img file", 0},
        };
        QCOMPARE(results, expected);
        QCOMPARE(opens.opens(), 0);

        // The user opens the entry that links out of the tree, and a file a stored catalogue may
        // list anywhere: each shows, and reads nothing but itself.
        OpenWatch secretOpens;
        QVERIFY(secretOpens.add(out + "/secret.txt"));
        for (const std::string& entry : {tree + "/entry-link.htm", elsewhere}) {
            QVERIFY(shown.show(entry));
            QCOMPARE(shown.eval("document.title"), QVariant(QStringLiteral("Elsewhere")));
            QCOMPARE(pageFile(shown.view.url()), std::optional<std::string>(entry));
            QCOMPARE(shown.eval(QString::fromStdString(
                         "[location.href, '" + out + "/secret.txt', '" + tree +
                         "/own.txt'].map(url => { try {"
                         " const x = new XMLHttpRequest(); x.open('GET', url, false);"
                         " x.send(); return x.responseText.slice(0, 8); }"
                         " catch (e) { return 'refused'; } }).join()")),
                     QVariant(QStringLiteral("<html><h,refused,refused")));
        }
        QCOMPARE(secretOpens.opens(), 0);
    }

    // Only the reader chooses a page's tree: a page can't have itself loaded again in another
    // tree the view knows, neither while the view is on its way to that tree nor by a link.
    void hostilePage_cannotMoveIntoAnotherTree() {
        TempDir dir;
        dir.write("secret.txt", "the secret");
        const std::string home = dir.write("page.htm", htmlPage("Home folder"));
        // Once it runs in the home folder's tree, the chapter reads the secret beside that tree.
        const std::string chapter = dir.write(
            "tree/chapter1.htm",
            htmlPage("Chapter 1",
                     "<a id='link' href='#'>into the other tree</a>"
                     "<a id='blank' target='_blank' href='#'>in a new window</a><script>"
                     "try { const x = new XMLHttpRequest(); x.open('GET', '../secret.txt', false);"
                     "  x.send(); document.title = 'escaped: ' + x.responseText; } catch (e) {}"
                     "function attack(host) {"
                     "  const there = 'pelmaro://' + host + location.pathname;"
                     "  document.getElementById('link').href = there;"
                     "  document.getElementById('blank').href = there + '?blank';"
                     "  window.open(there); setTimeout(() => location.href = there, 0); }"
                     "</script>"));
        ShownView shown;
        OpenWatch opens;
        QVERIFY(opens.add(dir / "secret.txt"));
        shown.pages.setCatalogueFolder(dir.path());
        QVERIFY(shown.show(home));
        const QString homeTree = shown.view.url().host();
        const QString attack = QStringLiteral("attack('%1')").arg(homeTree);
        shown.pages.setCatalogueFolder(dir / "tree");
        QVERIFY(shown.show(chapter));
        const QString chapterTree = shown.view.url().host();
        QCOMPARE(shown.eval("document.title"), QVariant(QStringLiteral("Chapter 1")));

        // The user opens the home folder's catalogue again and picks its page; the chapter tries
        // while it is still shown.
        shown.pages.setCatalogueFolder(dir.path());
        QVERIFY(loadAndWait(shown.view.page(), [&] {
            shown.pages.navigate(home);
            shown.eval(attack);
        }));
        QTest::qWait(1000);
        QCOMPARE(shown.eval("document.title"), QVariant(QStringLiteral("Home folder")));
        QCOMPARE(shown.view.url().host(), homeTree);

        // Clicked links to the other tree, in the page and in a new window, go nowhere.
        shown.pages.setCatalogueFolder(dir / "tree");
        for (const char* id : {"link", "blank"}) {
            QVERIFY(shown.show(chapter));
            QCOMPARE(shown.view.url().host(), chapterTree);
            shown.eval(attack);
            QTest::qWait(300);
            QVERIFY2(shown.click(id), id);
            QTest::qWait(700);
            QCOMPARE(shown.view.url().host(), chapterTree);
            QCOMPARE(shown.eval("document.title"), QVariant(QStringLiteral("Chapter 1")));
        }
        QCOMPARE(opens.opens(), 0);
    }

    // No socket: WebRTC (even from a frame's first document, which escapes the page's script),
    // preconnect, WebSocket, WebTransport, beacons, and no name resolves.
    void hostilePage_reachesNoSocket() {
        QTcpServer tcp;
        QVERIFY(tcp.listen(QHostAddress::LocalHost));
        QUdpSocket udp;
        QVERIFY(udp.bind(QHostAddress::LocalHost, 0));
        const std::string tp = std::to_string(tcp.serverPort());
        const std::string up = std::to_string(udp.localPort());
        const std::string web = "http://127.0.0.1:" + tp;
        TempDir dir;
        const std::string page = dir.write(
            "net.htm",
            "<html><head><title>Net</title>"
            "<link rel='preconnect' href='" +
                web +
                "/'>"
                "<link rel='preconnect' href='http://localhost:" +
                tp +
                "/'>"
                "<link rel='dns-prefetch' href='//pelmaro-dns-probe.example/'>"
                "<link rel='prefetch' href='" +
                web +
                "/prefetch'>"
                "<link rel='stylesheet' href='" +
                web +
                "/s.css'>"
                "<script src='" +
                web +
                "/s.js'></script></head><body>"
                "<img src='" +
                web + "/i.png'><iframe src='" + web +
                "/f.htm'></iframe>"
                "<a id='ping' href='#x' ping='" +
                web +
                "/ping'>ping</a><script>"
                "var results = {}, done = false;"
                "results.rtc = typeof RTCPeerConnection + ' ' + typeof webkitRTCPeerConnection;"
                "const frame = document.createElement('iframe'); document.body.appendChild(frame);"
                "const PC = frame.contentWindow.RTCPeerConnection;"
                "(async () => { try {"
                "  const pc = new PC({iceServers: ["
                "    {urls: 'turn:127.0.0.1:" +
                up +
                "?transport=udp', username: 'SECRET', credential: 'x'},"
                "    {urls: 'turn:127.0.0.1:" +
                tp +
                "?transport=tcp', username: 'SECRET', credential: 'x'},"
                "    {urls: 'turn:localhost:" +
                tp +
                "?transport=tcp', username: 'SECRET', credential: 'x'},"
                "    {urls: 'stun:127.0.0.1:" +
                up + "'}, {urls: 'stun:localhost:" + up +
                "'}]});"
                "  pc.createDataChannel('d');"
                "  await pc.setLocalDescription(await pc.createOffer());"
                "  const peer = new PC(); peer.createDataChannel('d');"
                "  await peer.setRemoteDescription(pc.localDescription);"
                "  let sdp = (await peer.createAnswer()).sdp.replace(/a=candidate.*\\r\\n/g, '');"
                "  sdp = sdp.replace(/(m=application.*\\r\\n)/, '$1"
                "a=candidate:1 1 udp 2122260223 127.0.0.1 " +
                up +
                " typ host\\r\\n"
                "a=candidate:2 1 tcp 1518280447 127.0.0.1 " +
                tp +
                " typ host tcptype passive\\r\\n');"
                "  await pc.setRemoteDescription({type: 'answer', sdp});"
                "  results.frameRtc = 'tried';"
                "} catch (e) { results.frameRtc = 'failed'; } })();"
                "for (const url of ['ws://127.0.0.1:" +
                tp + "/', 'ws://localhost:" + tp +
                "/'])"
                "  try { new WebSocket(url); } catch (e) {}"
                "try { new WebTransport('https://127.0.0.1:" +
                up +
                "/').ready.catch(() => {}); }"
                " catch (e) {}"
                "navigator.sendBeacon('" +
                web +
                "/beacon', 'SECRET');"
                "fetch('" +
                web +
                "/f', {method: 'POST', body: 'SECRET', keepalive: true})"
                ".catch(() => {});"
                "new EventSource('" +
                web +
                "/events');"
                "navigator.serviceWorker.register('worker.js').then(() => results.worker = "
                "'registered',"
                " () => results.worker = 'refused');"
                "document.getElementById('ping').click();"
                "setTimeout(() => done = true, 2500);"
                "</script></body></html>");
        dir.write("worker.js", "self.onfetch = () => {};");
        ShownView shown;
        QVERIFY(shown.show(page));
        const QJsonObject results = shown.results();
        QCOMPARE(results.value("rtc").toString(), QStringLiteral("undefined undefined"));
        QCOMPARE(results.value("worker").toString(), QStringLiteral("refused"));
        QVERIFY(results.contains("frameRtc"));
        QVERIFY(!tcp.hasPendingConnections());
        QVERIFY(!tcp.waitForNewConnection(200));
        QVERIFY(!udp.hasPendingDatagrams());
        QCOMPARE(shown.eval("document.title"), QVariant(QStringLiteral("Net")));
    }

    // Scripts start no program; the user's click on a link does, for that link.
    void hostilePage_startsNothingWithoutTheUser() {
        TempDir dir;
        dir.write("refresh.htm",
                  "<html><head><meta http-equiv='refresh' content='0; url=https://example.com/"
                  "refresh'></head><body></body></html>");
        const std::string page = dir.write(
            "start.htm",
            htmlPage("Start",
                     "<a id='web' href='https://example.com/clicked'>web</a>"
                     "<a id='mail' href='mailto:a@example.com'>mail</a>"
                     "<a id='scripted' href='https://example.com/scripted'>scripted</a>"
                     "<p id='text' style='height: 100px'>text</p>"
                     "<input id='field' onkeydown=\"if (event.key == 'Enter')"
                     " location.href = 'https://example.com/enter'\">"
                     "<form id='form' action='https://example.com/form'><input name='q'></form>"
                     "<a id='custom' href='other-scheme:x'>other scheme</a>"
                     "<a id='hidden' href='https://example.com/hidden'"
                     " style='position: absolute; left: -1000px'>hidden</a>"
                     "<div id='trap' style='height: 40px'"
                     " onclick=\"document.getElementById('hidden').click()\">a plain div</div>"
                     "<a id='buttons' href='https://example.com/buttons'"
                     " onmousedown='if (event.button) setTimeout(() => this.click(), 50)'"
                     " oncontextmenu='event.preventDefault()'>other buttons</a>"
                     "<a id='attach' href='mailto:a@example.com?attach=/etc/passwd&amp;subject=Hi'>"
                     "mail with a file</a>"
                     "<iframe src='refresh.htm'></iframe><script>"
                     "document.getElementById('hidden').focus();"
                     "function copy(text) { const area = document.createElement('textarea');"
                     " area.value = text; document.body.appendChild(area); area.select();"
                     " document.execCommand('copy'); area.remove(); }"
                     "const steps = ["
                     " () => copy('copied by a script'),"
                     " () => location.href = 'https://example.com/location',"
                     " () => location.href = 'mailto:someone@example.com?body=secret',"
                     " () => location.href = 'ftp://example.com/x',"
                     " () => location.href = 'other-scheme:x',"
                     " () => document.getElementById('scripted').click(),"
                     " () => window.open('https://example.com/open'),"
                     " () => document.getElementById('form').submit(),"
                     " () => setInterval(() => location.href = 'https://example.com/loop', 100)];"
                     "steps.forEach((step, i) => setTimeout(step, 100 * i));"
                     "</script>"));
        ShownView shown;
        shown.pages.setCatalogueFolder(dir.path());
        QSignalSpy blocked(&shown.pages, &WebPageView::linkBlocked);
        QGuiApplication::clipboard()->setText(QStringLiteral("the user's"));
        QVERIFY(shown.show(page));
        QTRY_VERIFY(blockedUrls(blocked).contains(QStringLiteral("https://example.com/loop")));
        // A script writes nothing to the clipboard.
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("the user's"));
        QCOMPARE(openedUrls(), QStringList());
        for (const char* url : {"https://example.com/location", "https://example.com/scripted",
                                "https://example.com/form?q=", "https://example.com/refresh"}) {
            QVERIFY2(blockedUrls(blocked).contains(QString::fromLatin1(url)), url);
        }

        // A click beside the links opens nothing, though the page navigates meanwhile.
        QVERIFY(shown.click("text"));
        QTest::qWait(400);
        QCOMPARE(openedUrls(), QStringList());

        // Nor does a click on a plain element that clicks a link (which has the focus), nor
        // another button on a link that a script then clicks.
        QVERIFY(shown.click("trap"));
        QTest::qWait(400);
        const QPoint buttons = centreOf(shown, "buttons");
        for (const Qt::MouseButton button :
             {Qt::RightButton, Qt::MiddleButton, Qt::BackButton, Qt::ForwardButton}) {
            QTest::mouseClick(shown.view.focusProxy(), button, {}, buttons);
            QTest::qWait(300);
        }
        QCOMPARE(openedUrls(), QStringList());
        QVERIFY(blockedUrls(blocked).contains(QStringLiteral("https://example.com/hidden")));
        QVERIFY(blockedUrls(blocked).contains(QStringLiteral("https://example.com/buttons")));

        // The user's click on a link opens that link, once; the page's loop still nothing.
        QVERIFY(shown.click("web"));
        QTRY_COMPARE(openedUrls(), QStringList{QStringLiteral("https://example.com/clicked")});
        QTest::qWait(1100);
        QVERIFY(shown.click("mail"));
        QTRY_COMPARE(openedUrls().size(), 2);
        QCOMPARE(openedUrls().at(1), QStringLiteral("mailto:a@example.com"));
        // A mail link reaches the mail program with its message only, never with a file.
        QTest::qWait(1100);
        QVERIFY(shown.click("attach"));
        QTRY_COMPARE(openedUrls().size(), 3);
        QCOMPARE(openedUrls().at(2), QStringLiteral("mailto:a@example.com?subject=Hi"));
        // Other schemes never leave, clicked or not.
        blocked.clear();
        QVERIFY(shown.click("custom"));
        QTRY_VERIFY(blockedUrls(blocked).contains(QStringLiteral("other-scheme:x")));

        // Enter opens the link that has the focus, and nothing a script makes of the key.
        shown.view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&shown.view));
        QTest::mouseMove(shown.view.focusProxy(), QPoint(1, 1));
        shown.eval("document.getElementById('field').focus()");
        QTest::keyClick(shown.view.focusProxy(), Qt::Key_Return);
        QTRY_VERIFY(blockedUrls(blocked).contains(QStringLiteral("https://example.com/enter")));
        QTest::qWait(1000);  // one program a second
        QCOMPARE(openedUrls().size(), 3);
        QSignalSpy focused(shown.view.page(), &QWebEnginePage::linkHovered);
        QTest::keyClick(shown.view.focusProxy(), Qt::Key_Tab, Qt::ShiftModifier);
        QVERIFY(focused.wait());
        QTest::keyClick(shown.view.focusProxy(), Qt::Key_Return);
        QTRY_COMPARE(openedUrls().size(), 4);
        QCOMPARE(openedUrls().at(3), QStringLiteral("https://example.com/scripted"));
        QCOMPARE(pageFile(shown.view.url()), std::optional<std::string>(page));
    }

    // Dialogs never show, a page that never ends is left for the next title, and the window
    // closes however busy the page is.
    void hostilePage_cannotHoldTheReader() {
        TempDir dir;
        const std::string dialogs = dir.write(
            "dialogs.htm",
            htmlPage("Dialogs",
                     "<script>var answers = [];"
                     "for (let i = 0; i < 100; ++i) { alert(i); answers.push(confirm('sure?'),"
                     " prompt('name?', 'x')); }"
                     "onbeforeunload = e => { e.preventDefault(); return e.returnValue = 'stay'; };"
                     "</script>"));
        const std::string endless =
            dir.write("endless.htm", htmlPage("Endless", "<script>for (;;) {}</script>"));
        const std::string later = dir.write(
            "later.htm",
            htmlPage("Later", "<script>setTimeout(() => { for (;;) {} }, 100);</script>"));
        const std::string next = dir.write("next.htm", htmlPage("Next"));
        ShownView shown;
        QVERIFY(shown.show(dialogs));
        QCOMPARE(shown.eval("answers.length + ' ' + answers.slice(0, 2).join()"),
                 QVariant(QStringLiteral("200 false,")));

        for (const std::string& hanging : {endless, later}) {
            shown.pages.navigate(hanging);
            // The picked page hangs on its own: it stays, as it is what the user asked for.
            QWebEnginePage* const picked = shown.view.page();
            QTest::qWait(1500);
            QCOMPARE(shown.view.page(), picked);
            shown.pages.navigate(next);
            QTRY_COMPARE_WITH_TIMEOUT(shown.view.page()->title(), QStringLiteral("Next"), 8000);
            QCOMPARE(shown.eval("document.title"), QVariant(QStringLiteral("Next")));
        }

        // The whole program, with its window closed on a page that loops in a dialog.
        const std::string dialogLoop =
            dir.write("dialog-loop.htm",
                      htmlPage("Loop",
                               "<script>onbeforeunload = () => 'stay'; for (;;) { alert('x'); }"
                               "</script>"));
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QStringLiteral(PAGE_VIEW_CHILD), {QString::fromStdString(dialogLoop)});
        QVERIFY(child.waitForStarted());
        QVERIFY(child.waitForReadyRead(20000));
        QCOMPARE(child.readLine().trimmed(), QByteArray("closing"));
        QVERIFY2(child.waitForFinished(5000), "the program outlived its window by 5 s");
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    }

    // The documentation packages' own searches, which load their index and the distribution's
    // jQuery through links out of their trees.
    void documentationSearches_work() {
        const std::string python = "/usr/share/doc/python3.11/html";
        const std::string java = "/usr/share/doc/openjdk-17-doc";
        bool any = false;
        if (QFile::exists(QString::fromStdString(python + "/search.html"))) {
            any = true;
            ShownView shown;
            shown.pages.setCatalogueFolder(python);
            QVERIFY(shown.show(python + "/search.html"));
            QVERIFY(loadAndWait(shown.view.page(),
                                [&] { shown.eval("location.search = '?q=urlopen'"); }));
            QTRY_VERIFY_WITH_TIMEOUT(
                shown.eval("document.querySelectorAll('#search-results li').length").toInt() > 0,
                15000);
        }
        if (QFile::exists(QString::fromStdString(java + "/api/java.base/java/lang/String.html"))) {
            any = true;
            ShownView shown;
            shown.pages.setCatalogueFolder(java);
            QVERIFY(shown.show(java + "/api/java.base/java/lang/String.html"));
            QTRY_VERIFY_WITH_TIMEOUT(
                shown.eval("typeof typeSearchIndex != 'undefined' && typeof $ == 'function'")
                    .toBool(),
                15000);
            shown.eval("$('#search-input').val('ArrayList').catcomplete('search', 'ArrayList')");
            QTRY_VERIFY_WITH_TIMEOUT(
                shown
                    .eval("[...document.querySelectorAll('.ui-autocomplete li')]"
                          ".some(li => li.textContent.includes('ArrayList'))")
                    .toBool(),
                15000);
        }
        if (!any) {
            QSKIP("python3.11-doc and openjdk-17-doc are not installed");
        }
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
    static QPoint centreOf(ShownView& shown, const char* id) {
        const QVariantList centre =
            shown
                .eval(QStringLiteral("(r => [r.x + r.width / 2, r.y + r.height / 2])("
                                     "document.getElementById('%1').getBoundingClientRect())")
                          .arg(QString::fromLatin1(id)))
                .toList();
        return centre.size() == 2
                   ? QPoint(qRound(centre[0].toDouble()), qRound(centre[1].toDouble()))
                   : QPoint();
    }
    std::string openerLog() const { return bin_ / "opened.log"; }
    QStringList openedUrls() const {
        QFile log(QString::fromStdString(openerLog()));
        if (!log.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    static QStringList blockedUrls(const QSignalSpy& spy) {
        QStringList urls;
        for (const QList<QVariant>& arguments : spy) {
            urls << arguments.at(0).toString();
        }
        return urls;
    }

    TempDir bin_;
};

PELMARO_APP_TEST_MAIN(PageViewTest)
#include "page_view_test.moc"
