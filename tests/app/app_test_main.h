#pragma once

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "app/page_view.h"

// The main of a window test: the user's folders point into a temporary folder, so that nothing
// the toolkit or the engine stores reaches the real settings or caches, and the page scheme is
// registered and the engine's switches set before the application exists, as the program does it.
#define PELMARO_APP_TEST_MAIN(TestClass)                                                           \
    int main(int argc, char** argv) {                                                              \
        QTemporaryDir home;                                                                        \
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME",     \
                                 "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {                           \
            const QString folder = home.path() + "/" + name;                                       \
            QDir().mkpath(folder);                                                                 \
            QFile::setPermissions(                                                                 \
                folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner); \
            qputenv(name, folder.toUtf8());                                                        \
        }                                                                                          \
        pelmaro::app::setEngineSwitches();                                                         \
        pelmaro::app::registerPageScheme();                                                        \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);                                \
        QApplication application(argc, argv);                                                      \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
