#include "app/page_printing.h"

#include <QCoreApplication>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QThreadPool>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <exception>

#include "app/qt_text.h"
#include "platform/file_system.h"

namespace pelmaro::app {

namespace {

// File names longer than this are refused by most file systems (255 bytes), with room for ".pdf".
constexpr qsizetype kMostTitleBytes = 200;

}  // namespace

std::string pdfNameFor(const QString& title) {
    QString name;
    for (const QChar c : title.simplified()) {
        // "/" separates folders, and controls and the rest would be unreadable in a file manager.
        const bool unsafe = c == QLatin1Char('/') || c == QLatin1Char('\\') ||
                            c == QLatin1Char(':') || c.category() == QChar::Other_Control ||
                            c.category() == QChar::Other_Format;
        name += unsafe ? QLatin1Char('-') : c;
    }
    while (name.startsWith(QLatin1Char('.'))) {
        name.remove(0, 1);  // a hidden file, or "..", is not what the user meant
    }
    QByteArray bytes = QFile::encodeName(name.trimmed());
    if (bytes.size() > kMostTitleBytes) {
        // Cut at a character's start, never inside one.
        qsizetype end = kMostTitleBytes;
        while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) {
            --end;
        }
        bytes.truncate(end);
    }
    return (bytes.isEmpty() ? std::string("page") : bytes.toStdString()) + ".pdf";
}

PagePrinting::PagePrinting(std::function<QWebEngineView*()> shownView, platform::Dialogs& dialogs,
                           std::function<int(QDialog&)> runDialog, QObject* parent)
    : QObject(parent),
      shownView_(std::move(shownView)),
      dialogs_(dialogs),
      runDialog_(std::move(runDialog)) {}

PagePrinting::~PagePrinting() = default;

void PagePrinting::print() {
    QWebEngineView* view = shownView_();
    if (view == nullptr || printer_) {
        return;  // one print at a time: the engine draws one
    }
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setDocName(view->title());
    QPrintDialog dialog(printer.get(), view->window());
    dialog.setOption(QAbstractPrintDialog::PrintToFile);
    if (runDialog_(dialog) != QDialog::Accepted) {
        return;
    }
    printer_ = std::move(printer);
    const QPointer<QWebEngineView> printing(view);
    connect(
        view, &QWebEngineView::printFinished, this,
        [this, printing](bool ok) {
            if (printing) {
                disconnect(printing, &QWebEngineView::printFinished, this, nullptr);
            }
            printer_.reset();
            emit reported(ok ? QStringLiteral("Page printed.")
                             : QStringLiteral("The page could not be printed."));
        },
        Qt::QueuedConnection);  // the printer goes once the engine has let go of it
    view->print(printer_.get());
}

void PagePrinting::saveAsPdf() {
    QWebEngineView* view = shownView_();
    if (view == nullptr) {
        return;
    }
    const std::string suggested =
        (lastFolder_.empty() ? std::string() : lastFolder_ + "/") + pdfNameFor(view->title());
    const std::optional<std::string> fileName =
        dialogs_.saveFile("Save as PDF", {{"PDF files", "*.pdf"}}, suggested);
    if (!fileName) {
        return;
    }
    const std::size_t slash = fileName->rfind('/');
    lastFolder_ = slash == std::string::npos ? std::string() : fileName->substr(0, slash);
    const QPointer<PagePrinting> self(this);
    const std::string name = *fileName;
    // Into bytes first: the engine would write the file itself in place, and a failure halfway
    // would leave a truncated file where the user's was.
    view->page()->printToPdf(
        [self, name](const QByteArray& pdf) {
            if (self) {
                self->pdfReady(name, pdf);
            }
        },
        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(15, 15, 15, 15),
                    QPageLayout::Millimeter));
}

void PagePrinting::pdfReady(const std::string& fileName, const QByteArray& pdf) {
    if (pdf.isEmpty()) {
        pdfWritten(fileName, "Cannot save the page as PDF. The page could not be drawn");
        return;
    }
    const QPointer<PagePrinting> self(this);
    QThreadPool::globalInstance()->start([self, fileName, pdf] {
        std::string error;
        try {
            platform::PosixFileSystem().writeFile(
                fileName, std::string_view(pdf.constData(), static_cast<std::size_t>(pdf.size())));
        } catch (const std::exception& failure) {
            error = failure.what();
        }
        // Back on the window's thread, where `self` is asked whether the window still is.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, fileName, error] {
                if (self) {
                    self->pdfWritten(fileName, error);
                }
            },
            Qt::QueuedConnection);
    });
}

void PagePrinting::pdfWritten(const std::string& fileName, const std::string& error) {
    if (error.empty()) {
        emit reported(QStringLiteral("Saved as PDF: ") + isolatedText(toQString(fileName)));
    } else {
        // The error box from a task of the window's loop: a box of its own, as a command's is.
        dialogs_.showError(error);
    }
    emit pdfSaved(fileName, error.empty());
}

}  // namespace pelmaro::app
