// The window against the command line on the same tree: F2 and F11 pressed in the real main window
// (its real page view, models and event loop), timed from the key to the moment the window shows
// the result, beside `pelmaro-cli build` and `pelmaro-cli search` run as processes.
//
//   pelmaro-window-bench PELMARO-CLI FOLDER [WORD...]
//   pelmaro-window-bench PELMARO-CLI CATALOGUE.path [WORD...]
//                      a large stored catalogue, opened where it is (as F9 does): the time its
//                      search index takes to be ready (loaded, or built in the background), then
//                      F11 through it beside one run of `pelmaro-cli search` and `--scan`
//
// The tree is copied into a scratch folder first, since both store a catalogue in it. Run it
// under Xvfb (xvfb-run -a) with QTWEBENGINE_DISABLE_SANDBOX=1 as root.

#include <stdlib.h>

#include <QAction>
#include <QApplication>
#include <QListView>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "app/page_view.h"
#include "bench/bench_support.h"
#include "platform/file_system.h"
#include "platform/settings_file.h"
#include "reader/reader.h"

namespace {

// Answers every question at once: the folder or text under test, and No to the save question
// when `save` is false.
class AnsweringDialogs final : public pelmaro::platform::Dialogs {
public:
    std::string folder;
    std::string text;
    bool save = true;

    void showError(const std::string& message) override {
        std::fprintf(stderr, "error: %s\n", message.c_str());
    }
    void showMessage(const std::string&) override {}
    bool askYesNo(const std::string&, const std::string&) override { return save; }
    std::string inputBox(const std::string&, const std::string&, const std::string&) override {
        return text;
    }
    std::string pickFolder(const std::string&, const std::string&) override { return folder; }
    std::optional<std::string> openFile(const std::string&,
                                        const std::vector<pelmaro::platform::FileFilter>&,
                                        const std::string&,
                                        const std::vector<std::string>&) override {
        return std::nullopt;
    }
    std::optional<std::string> saveFile(const std::string&,
                                        const std::vector<pelmaro::platform::FileFilter>&,
                                        const std::string&) override {
        return std::nullopt;
    }
};

// Runs the window's command (as its key would) and waits until the reader is idle again and the
// window has handled what the work handed over; the seconds that took.
double runAndWait(pelmaro::app::MainWindow& window, const char* command) {
    QAction* action = window.findChild<QAction*>(QString::fromLatin1(command));
    const auto start = std::chrono::steady_clock::now();
    action->trigger();
    // Blocks until the work hands something over, as the window's own event loop does; a loop
    // that polls would take a core from the work it waits for.
    while (window.reader().busy()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    QCoreApplication::processEvents();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// F11 as the user sees it: the seconds until the first result row is painted, and until the
// search has ended (the best of five after a warm-up).
struct FirstAndLast {
    double first = 1e300;
    double last = 1e300;
};

FirstAndLast searchAsSeen(pelmaro::app::MainWindow& window) {
    using Clock = std::chrono::steady_clock;
    QAction* search = window.findChild<QAction*>(QStringLiteral("startOrStopFullSearch"));
    QAction* results = window.findChild<QAction*>(QStringLiteral("toggleResults"));
    auto* list = window.findChild<QListView*>(QStringLiteral("resultList"));
    FirstAndLast best;
    for (int i = 0; i < 6; ++i) {
        const int before = list->model()->rowCount();
        const auto start = Clock::now();
        search->trigger();
        double first = 1e300;
        while (window.reader().busy()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (first > 1e299 && list->model()->rowCount() > before) {
                list->repaint();
                first = std::chrono::duration<double>(Clock::now() - start).count();
            }
        }
        QCoreApplication::processEvents();
        list->repaint();
        const double last = std::chrono::duration<double>(Clock::now() - start).count();
        results->trigger();
        if (i > 0) {
            best.first = std::min(best.first, std::min(first, last));
            best.last = std::min(best.last, last);
        }
    }
    return best;
}

struct Pair {
    double window = 1e300;
    double cli = 1e300;
};

// The best of five runs of each, after one warm-up of each; the two take turns, so that whatever
// else the machine does meanwhile weighs on both alike.
// The seconds one run of `command` takes.
double timeCommand(const std::vector<std::string>& command) {
    const auto start = std::chrono::steady_clock::now();
    pelmaro::bench::runCommand(command);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

Pair bestOfFive(const std::function<double()>& inWindow, const std::vector<std::string>& cli) {
    inWindow();
    timeCommand(cli);
    Pair best;
    for (int i = 0; i < 5; ++i) {
        best.window = std::min(best.window, inWindow());
        best.cli = std::min(best.cli, timeCommand(cli));
    }
    return best;
}

// Waits, handling the window's events, until its search index is ready or `limit` has passed;
// whether it is ready.
bool waitForSearchIndex(pelmaro::app::MainWindow& window, std::chrono::minutes limit) {
    const auto start = std::chrono::steady_clock::now();
    // The wait sleeps until an event, and the timer's are the events that let it look at the
    // clock: a wait that polled would take a core from the index's threads, which yield to it.
    QTimer tick;
    tick.start(50);
    while (!window.reader().searchIndexReady() &&
           std::chrono::steady_clock::now() - start < limit) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return window.reader().searchIndexReady();
}

// A new scratch folder under /tmp, where the window's settings (and the index cache, when
// `cache`) are kept; empty when none can be made.
std::string makeScratch(bool cache) {
    char pattern[] = "/tmp/pelmaro-window-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return {};
    }
    const std::string scratch = pattern;
    ::setenv("XDG_CONFIG_HOME", (scratch + "/config").c_str(), 1);
    if (cache) {
        ::setenv("XDG_CACHE_HOME", (scratch + "/cache").c_str(), 1);
    }
    return scratch;
}

// Removes a scratch folder when it goes: made before the window, it goes after it, once the
// window's background work (an index still being built for the last catalogue) has ended.
struct RemovedAtEnd {
    std::string folder;
    ~RemovedAtEnd() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

}  // namespace

// A stored catalogue of `count` entries whose titles need decoding as a documentation tree's do
// (character references, pages in GBK and windows-1252), over a few hundred real pages.
std::string writeLargeCatalogue(const std::string& folder, int count) {
    std::filesystem::create_directories(folder + "/pages");
    std::vector<std::string> pagePaths;
    for (int i = 0; i < 300; ++i) {
        const std::string name = folder + "/pages/p" + std::to_string(i) + ".htm";
        std::FILE* page = std::fopen(name.c_str(), "wb");
        std::fputs(i % 3 == 0   ? "<meta charset=\"gbk\"><title>\xb0\xef\xd6\xfa</title>"
                   : i % 3 == 1 ? "<title>caf\xe9</title>"
                                : "<title>String (Java SE 17 &amp; JDK 17)</title>",
                   page);
        std::fclose(page);
        pagePaths.push_back(name);
    }
    std::string titles;
    std::string paths;
    for (int i = 0; i < count; ++i) {
        const int page = i % 300;
        titles += page % 3 == 0   ? "\xb0\xef\xd6\xfa " + std::to_string(i)
                  : page % 3 == 1 ? "caf\xe9 " + std::to_string(i)
                                  : "String " + std::to_string(i) + " (Java SE 17 &amp; JDK 17)";
        titles += "\r\n";
        paths += pagePaths[static_cast<std::size_t>(page)] + "\r\n";
    }
    pelmaro::platform::PosixFileSystem files;
    files.writeFile(folder + "/large.title", titles);
    files.writeFile(folder + "/large.path", paths);
    return folder + "/large.path";
}

// Opens a large catalogue in the window (as F9 does, the file already chosen), then pages
// through its title list, timing each page from the key to the painted list.
void benchLargeCatalogue(pelmaro::app::MainWindow& window, const std::string& scratch) {
    using Clock = std::chrono::steady_clock;
    constexpr int kEntries = 200000;
    const std::string pathFile = writeLargeCatalogue(scratch + "/large", kEntries);
    auto start = Clock::now();
    window.reader().openCatalogue(pathFile);
    while (window.reader().busy()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    auto* titles = window.findChild<QListView*>(QStringLiteral("titleList"));
    titles->repaint();
    const double opened = std::chrono::duration<double>(Clock::now() - start).count();

    titles->setFocus();
    std::vector<double> pages;
    for (int i = 0; i < 200; ++i) {
        start = Clock::now();
        QTest::keyClick(titles, Qt::Key_PageDown);
        titles->repaint();
        pages.push_back(std::chrono::duration<double>(Clock::now() - start).count() * 1e3);
    }
    std::sort(pages.begin(), pages.end());
    std::printf(
        "\n%d entries with titles to decode: opened and painted in %.3f s; Page Down and "
        "paint, ms: median %.2f, p95 %.2f, max %.2f\n",
        kEntries, opened, pages[pages.size() / 2], pages[pages.size() * 95 / 100], pages.back());
}

int benchStoredCatalogue(const std::string& cli, const std::string& pathFile,
                         std::vector<std::string> words) {
    using namespace pelmaro;
    using Clock = std::chrono::steady_clock;
    if (words.empty()) {
        words = {"zyzzyva", "public"};
    }
    const std::string scratch = makeScratch(false);
    if (scratch.empty()) {
        return 2;
    }
    const RemovedAtEnd removed{scratch};
    AnsweringDialogs dialogs;
    platform::PosixFileSystem files;
    platform::SettingsFile settings(files, platform::defaultSettingsFileName());
    app::MainWindow window({dialogs, settings, files});
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window was never shown: is there a display?\n");
        return 2;
    }
    const auto start = Clock::now();
    window.reader().openCatalogue(pathFile);
    while (window.reader().busy()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const double opened = std::chrono::duration<double>(Clock::now() - start).count();
    waitForSearchIndex(window, std::chrono::minutes(30));
    std::printf("%s: opened in %.3f s, its search index ready after %.1f s\n", pathFile.c_str(),
                opened, std::chrono::duration<double>(Clock::now() - start).count());
    std::printf("%-22s %10s %10s %10s %10s\n", "F11 through the index", "first row", "ended", "cli",
                "cli --scan");
    for (const std::string& word : words) {
        dialogs.text = word;
        const FirstAndLast seen = searchAsSeen(window);
        const double indexed = timeCommand({cli, "search", pathFile, word});
        const double scanned = timeCommand({cli, "search", "--scan", pathFile, word});
        std::printf("%-22s %10.3f %10.3f %10.3f %10.3f\n", word.c_str(), seen.first, seen.last,
                    indexed, scanned);
    }
    window.close();
    return 0;
}

int main(int argc, char** argv) {
    using namespace pelmaro;
    app::registerPageScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    if (argc >= 3 && std::string_view(argv[2]).ends_with(".path")) {
        return benchStoredCatalogue(argv[1], argv[2], {argv + 3, argv + argc});
    }
    if (argc < 3 || !std::filesystem::is_directory(argv[2])) {
        std::fprintf(stderr,
                     "usage: pelmaro-window-bench PELMARO-CLI FOLDER|CATALOGUE.path [WORD...]\n");
        return 2;
    }
    const std::string cli = argv[1];
    std::vector<std::string> words(argv + 3, argv + argc);
    if (words.empty()) {
        words = {"zyzzyva", "public"};
    }

    const std::string scratch = makeScratch(true);
    if (scratch.empty()) {
        return 2;
    }
    const RemovedAtEnd removed{scratch};
    const std::string tree = scratch + "/tree";
    std::filesystem::copy(argv[2], tree, std::filesystem::copy_options::recursive);
    // The index reads a page written in the two seconds before its read again at the end, once
    // its stamp can tell a later write: the copy ages that long first, as the pages of a real
    // tree have, so that "index ready" times the build alone.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));

    AnsweringDialogs dialogs;
    dialogs.folder = tree;
    platform::PosixFileSystem files;
    platform::SettingsFile settings(files, platform::defaultSettingsFileName());
    app::MainWindow window({dialogs, settings, files});
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window was never shown: is there a display?\n");
        return 2;
    }

    std::printf(
        "%s copied: best of 5 after a warm-up, seconds from the command to the result shown\n",
        argv[2]);
    std::printf("%-26s %10s %10s %8s\n", "command", "window", "cli", "ratio");
    const Pair build =
        bestOfFive([&] { return runAndWait(window, "buildFromFolder"); }, {cli, "build", tree});
    std::printf("%-26s %10.3f %10.3f %8.2f\n", "F2 / build", build.window, build.cli,
                build.window / build.cli);

    QAction* results = window.findChild<QAction*>(QStringLiteral("toggleResults"));
    for (const std::string& word : words) {
        dialogs.text = word;
        const Pair search = bestOfFive(
            [&] {
                const double seconds = runAndWait(window, "startOrStopFullSearch");
                results->trigger();  // hide the results again, as a user would
                return seconds;
            },
            {cli, "search", tree + "/pelmaropath.path", word});
        std::printf("%-26s %10.3f %10.3f %8.2f\n", ("F11 / search " + word).c_str(), search.window,
                    search.cli, search.window / search.cli);
    }
    // The build above saved a catalogue: from enough pages on, the window indexes it in the
    // background, and F11 then reads only the pages the index can't rule out.
    const auto indexStart = std::chrono::steady_clock::now();
    if (waitForSearchIndex(window, std::chrono::minutes(10))) {
        std::printf(
            "\nindexed for search in the background in %.3f s (since the last F11)\n",
            std::chrono::duration<double>(std::chrono::steady_clock::now() - indexStart).count());
        std::printf("%-26s %10s %10s %10s %10s\n", "F11 through the index", "first row", "ended",
                    "cli", "cli --scan");
        for (const std::string& word : words) {
            dialogs.text = word;
            const FirstAndLast seen = searchAsSeen(window);
            const Pair throughIndex =
                bestOfFive([] { return 0.0; }, {cli, "search", tree + "/pelmaropath.path", word});
            const Pair scan = bestOfFive(
                [] { return 0.0; }, {cli, "search", "--scan", tree + "/pelmaropath.path", word});
            std::printf("%-26s %10.3f %10.3f %10.3f %10.3f\n", word.c_str(), seen.first, seen.last,
                        throughIndex.cli, scan.cli);
        }
    } else {
        std::printf("\n(no search index: fewer pages than it takes)\n");
    }
    benchLargeCatalogue(window, scratch);
    window.close();
    return 0;
}
