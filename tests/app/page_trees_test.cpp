#include <QObject>
#include <QTest>
#include <filesystem>

#include "app/engine_flags.h"
#include "app/page_trees.h"
#include "tests/support/temp_dir.h"

using pelmaro::app::fileOfTree;
using pelmaro::app::PageTree;
using pelmaro::app::PageTrees;
using pelmaro::test::TempDir;

Q_DECLARE_METATYPE(std::string)
Q_DECLARE_METATYPE(std::optional<std::string>)

namespace {

constexpr char kSharedFile[] = "/usr/share/common-licenses/GPL-3";

// tree/ with its own files and links in, out and into the shared system folder; outside/ beside.
struct Layout {
    Layout() {
        dir.write("tree/a.htm", "a");
        dir.write("tree/sub/b.htm", "b");
        dir.write("outside/x.txt", "x");
        dir.write("tree-not/a.htm", "a");
        std::filesystem::create_symlink(dir / "tree/sub", dir / "tree/link-in");
        std::filesystem::create_symlink("../outside/x.txt", dir / "tree/link-out");
        std::filesystem::create_symlink(dir / "outside", dir / "tree/folder-out");
        std::filesystem::create_symlink(kSharedFile, dir / "tree/shared");
        std::filesystem::create_symlink("/usr/share/common-licenses", dir / "tree/shared-folder");
    }
    TempDir dir;
};

}  // namespace

class PageTreesTest : public QObject {
    Q_OBJECT

private slots:
    void fileOfTree_holdsWhatResolvesInside_data() {
        QTest::addColumn<std::string>("name");      // below the layout's folder, or full
        QTest::addColumn<std::string>("expected");  // the same; empty: outside
        QTest::newRow("own file") << std::string("tree/a.htm") << std::string("tree/a.htm");
        QTest::newRow("below") << std::string("tree/sub/b.htm") << std::string("tree/sub/b.htm");
        QTest::newRow("dot dot inside")
            << std::string("tree/sub/../a.htm") << std::string("tree/a.htm");
        QTest::newRow("link inside")
            << std::string("tree/link-in/b.htm") << std::string("tree/sub/b.htm");
        QTest::newRow("the folder itself") << std::string("tree") << std::string("tree");
        QTest::newRow("dot dot out") << std::string("tree/../outside/x.txt") << std::string();
        QTest::newRow("beside") << std::string("outside/x.txt") << std::string();
        QTest::newRow("link out") << std::string("tree/link-out") << std::string();
        QTest::newRow("folder link out") << std::string("tree/folder-out/x.txt") << std::string();
        QTest::newRow("missing") << std::string("tree/missing.htm") << std::string();
        QTest::newRow("folder named like its start")
            << std::string("tree-not/a.htm") << std::string();
        QTest::newRow("link to shared") << std::string("tree/shared") << std::string(kSharedFile);
        QTest::newRow("through shared folder link")
            << std::string("tree/shared-folder/GPL-3") << std::string(kSharedFile);
        QTest::newRow("shared, not through the tree") << std::string(kSharedFile) << std::string();
        QTest::newRow("not full") << std::string("relative/a.htm") << std::string();
        QTest::newRow("NUL") << std::string("tree/a.htm\0.txt", 15) << std::string();
    }
    void fileOfTree_holdsWhatResolvesInside() {
        QFETCH(std::string, name);
        QFETCH(std::string, expected);
        if (!std::filesystem::exists(kSharedFile)) {
            QSKIP("no /usr/share/common-licenses");
        }
        const Layout layout;
        const auto full = [&](const std::string& relative) {
            return relative.empty() || relative.front() == '/' || relative.rfind("relative", 0) == 0
                       ? relative
                       : layout.dir / relative;
        };
        const PageTree tree{layout.dir / "tree", layout.dir / "tree"};
        QCOMPARE(fileOfTree(tree, full(name)),
                 expected.empty() ? std::nullopt : std::optional<std::string>(full(expected)));
    }

    void placeOf_picksTheTreeAndTheName() {
        const Layout layout;
        const TempDir& dir = layout.dir;
        PageTrees trees;
        trees.setCatalogueFolder(dir / "tree/");
        const PageTrees::Place inCatalogue = trees.placeOf(dir / "tree/sub/b.htm");
        QCOMPARE(inCatalogue.fileName, dir / "tree/sub/b.htm");
        QCOMPARE(trees.placeOf(dir / "tree/a.htm").treeId, inCatalogue.treeId);
        QCOMPARE(trees.fileOf(inCatalogue.treeId, dir / "tree/a.htm"),
                 std::optional<std::string>(dir / "tree/a.htm"));
        QCOMPARE(trees.fileOf(inCatalogue.treeId, dir / "outside/x.txt"), std::nullopt);

        // A file outside: its own folder is its tree.
        const PageTrees::Place outside = trees.placeOf(dir / "outside/x.txt");
        QVERIFY(outside.treeId != inCatalogue.treeId);
        QCOMPARE(outside.fileName, dir / "outside/x.txt");
        QCOMPARE(trees.fileOf(outside.treeId, dir / "tree/a.htm"), std::nullopt);

        // An entry that links out shows where it really is, in that folder's tree.
        const PageTrees::Place linked = trees.placeOf(dir / "tree/link-out");
        QCOMPARE(linked.fileName, dir / "outside/x.txt");
        QCOMPARE(linked.treeId, outside.treeId);

        // Without a catalogue, a page's tree is its folder.
        trees.setCatalogueFolder("");
        const PageTrees::Place alone = trees.placeOf(dir / "tree/sub/b.htm");
        QVERIFY(alone.treeId != inCatalogue.treeId);
        QCOMPARE(trees.fileOf(alone.treeId, dir / "tree/a.htm"), std::nullopt);
        QVERIFY(!trees.knows("tree99"));
        QCOMPARE(trees.fileOf("tree99", dir / "tree/a.htm"), std::nullopt);
    }

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

QTEST_APPLESS_MAIN(PageTreesTest)
#include "page_trees_test.moc"
