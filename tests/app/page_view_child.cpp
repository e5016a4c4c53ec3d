// The reader's page view as a program of its own, for the test that it ends with its window: it
// shows the page named on the command line, prints "closing" and closes its window after a while,
// whatever the page is doing then.
#include <QApplication>
#include <QTimer>
#include <QWebEngineView>
#include <cstdio>

#include "app/page_view.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PAGE\n", argv[0]);
        return 2;
    }
    pelmaro::app::setEngineSwitches();
    pelmaro::app::registerPageScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QWebEngineView view;
    pelmaro::app::WebPageView pages(view);
    view.resize(400, 300);
    view.show();
    pages.navigate(argv[1]);
    QTimer::singleShot(1500, &view, [&view] {
        std::printf("closing\n");
        std::fflush(stdout);
        view.close();
    });
    return QApplication::exec();
}
