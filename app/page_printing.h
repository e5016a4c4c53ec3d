#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "platform/window.h"

class QDialog;
class QPrinter;
class QWebEngineView;

namespace pelmaro::app {

// Prints the page the window shows (through the print dialog) and saves it as a PDF file the
// user picks. A page's own window.print() is not heard: like its other dialogs, it shows nothing.
class PagePrinting final : public QObject {
    Q_OBJECT

public:
    // `shownView` gives the view whose page is meant (the current one); `runDialog` runs the print
    // dialog as a box of the window's, so that closing the window cancels it.
    PagePrinting(std::function<QWebEngineView*()> shownView, platform::Dialogs& dialogs,
                 std::function<int(QDialog&)> runDialog, QObject* parent = nullptr);
    ~PagePrinting() override;

    void print();
    // The file is written on a worker thread, to a temporary file renamed over the name the user
    // picked once it is whole: a failure leaves an existing file as it was.
    void saveAsPdf();

signals:
    // What the status line says of a finished print or save.
    void reported(const QString& text);
    // A save has ended, written or not (for tests, which wait for it).
    void pdfSaved(const std::string& fileName, bool written);

private:
    void pdfReady(const std::string& fileName, const QByteArray& pdf);
    void pdfWritten(const std::string& fileName, const std::string& error);

    std::function<QWebEngineView*()> shownView_;
    platform::Dialogs& dialogs_;
    std::function<int(QDialog&)> runDialog_;
    // The printer of the print that runs: the engine draws into it until it has finished.
    std::unique_ptr<QPrinter> printer_;
    std::string lastFolder_;
};

// The name a page is suggested to be saved under: its title, without what a file name can't
// hold, and ".pdf" ("a/b: c" -> "a-b- c.pdf"); "page.pdf" for a page without a title.
std::string pdfNameFor(const QString& title);

}  // namespace pelmaro::app
