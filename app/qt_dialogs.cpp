#include "app/qt_dialogs.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <algorithm>

#include "app/qt_text.h"
#include "window_text/window_text.h"

namespace pelmaro::app {

namespace {

// Texts the dialogs show: messages quote file names, and a caption may name a page.
QString fromBytes(const std::string& text) {
    return shownText(text);
}

// The dialog that shows the labels of its filters alone gives the chosen one back as its label
// ("*.*"); the filter is the one of that label ("*.* (*)").
QString filterOfLabel(const QStringList& filters, const QString& chosen) {
    for (const QString& filter : filters) {
        if (filter == chosen || filter.startsWith(chosen + QStringLiteral(" ("))) {
            return filter;
        }
    }
    return chosen;
}

// Where a file dialog starts: the given folder when it exists, else the home folder.
QString startingFolder(const std::string& folder) {
    const QString name = QFile::decodeName(QByteArray::fromStdString(folder));
    return !folder.empty() && QDir(name).exists() ? name : QDir::homePath();
}

}  // namespace

int runModally(QDialog& dialog) {
    return dialog.exec();
}

QString nameFilter(const platform::FileFilter& filter) {
    const QString pattern =
        filter.pattern == "*.*" ? QStringLiteral("*") : toQString(filter.pattern);
    return toQString(filter.label) + QStringLiteral(" (") + pattern + QLatin1Char(')');
}

QtDialogs::QtDialogs(QString applicationTitle, ModalRunner run)
    : title_(std::move(applicationTitle)), run_(std::move(run)) {}

void QtDialogs::attach(QWidget* owner) {
    owner_ = owner;
}

void QtDialogs::closeAll() {
    closing_ = true;
    for (QDialog* dialog : running_) {
        dialog->reject();
    }
}

int QtDialogs::run(QDialog& dialog) {
    running_.push_back(&dialog);
    const int result = run_(dialog);
    running_.pop_back();
    return result;
}

void QtDialogs::showError(const std::string& message) {
    if (closing_) {
        return;
    }
    QMessageBox box(QMessageBox::Critical, title_,
                    fromBytes(window_text::withClosingPeriod(message)), QMessageBox::Ok, owner_);
    box.setTextFormat(Qt::PlainText);  // a file name such as "<b>x</b>" is shown as it is
    run(box);
}

void QtDialogs::showMessage(const std::string& text) {
    if (closing_) {
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, title_, fromBytes(text), QMessageBox::Ok, owner_);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    run(box);
}

bool QtDialogs::askYesNo(const std::string& caption, const std::string& text) {
    if (closing_) {
        return false;
    }
    QMessageBox box(QMessageBox::Information, fromBytes(caption), fromBytes(text),
                    QMessageBox::NoButton, owner_);
    box.setTextFormat(Qt::PlainText);
    QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);  // closing the box without an answer is No
    run(box);
    return box.clickedButton() == yes;
}

std::string QtDialogs::inputBox(const std::string& caption, const std::string& prompt,
                                const std::string& preset) {
    if (closing_) {
        return preset;
    }
    QInputDialog dialog(owner_);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(fromBytes(caption));
    dialog.setLabelText(fromBytes(prompt));
    dialog.setTextValue(toQString(preset));  // edited and handed back: kept as stored
    // Wide enough for its caption, which is also the question.
    dialog.resize(std::max(dialog.sizeHint().width(),
                           dialog.fontMetrics().horizontalAdvance(fromBytes(caption)) + 160),
                  dialog.sizeHint().height());
    if (auto* edit = dialog.findChild<QLineEdit*>()) {
        edit->setMaxLength(255);
    }
    if (run(dialog) != QDialog::Accepted) {
        return preset;
    }
    return toBytes(dialog.textValue());
}

std::string QtDialogs::pickFolder(const std::string& instruction, const std::string& startFolder) {
    if (closing_) {
        return {};
    }
    QFileDialog dialog(owner_, fromBytes(instruction), startingFolder(startFolder));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (run(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return fileNameBytes(dialog.selectedFiles().constFirst());
}

std::optional<std::string> QtDialogs::openFile(const std::string& title,
                                               const std::vector<platform::FileFilter>& filters,
                                               const std::string& startFolder,
                                               const std::vector<std::string>& places) {
    if (closing_) {
        return std::nullopt;
    }
    QStringList nameFilters;
    for (const platform::FileFilter& filter : filters) {
        nameFilters << nameFilter(filter);
    }
    QFileDialog dialog(owner_, fromBytes(title), startingFolder(startFolder));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(nameFilters);
    // Beside the dialog's own places: a folder under a hidden one can't be reached by clicking.
    QList<QUrl> sidebar = dialog.sidebarUrls();
    for (const std::string& place : places) {
        const QString name = QFile::decodeName(QByteArray::fromStdString(place));
        const QUrl url = QUrl::fromLocalFile(name);
        if (QDir(name).exists() && !sidebar.contains(url)) {
            sidebar.push_back(url);
        }
    }
    dialog.setSidebarUrls(sidebar);
    if (!lastFilter_.isEmpty()) {
        dialog.selectNameFilter(lastFilter_);
    }
    if (!lastFileName_.isEmpty()) {
        dialog.selectFile(lastFileName_);
    }
    if (run(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    lastFileName_ = dialog.selectedFiles().constFirst();
    lastFilter_ = filterOfLabel(nameFilters, dialog.selectedNameFilter());
    return fileNameBytes(lastFileName_);
}

std::optional<std::string> QtDialogs::saveFile(const std::string& title,
                                               const std::vector<platform::FileFilter>& filters,
                                               const std::string& suggestedName) {
    if (closing_) {
        return std::nullopt;
    }
    QStringList nameFilters;
    for (const platform::FileFilter& filter : filters) {
        nameFilters << nameFilter(filter);
    }
    QString suggested = QFile::decodeName(QByteArray::fromStdString(suggestedName));
    if (!suggested.startsWith(QLatin1Char('/'))) {
        suggested = QDir::home().filePath(suggested);
    }
    QFileDialog dialog(owner_, fromBytes(title));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(nameFilters);
    // "*.pdf": a name typed without its extension gets it.
    if (!filters.empty() && filters.front().pattern.rfind("*.", 0) == 0 &&
        filters.front().pattern != "*.*") {
        dialog.setDefaultSuffix(toQString(filters.front().pattern.substr(2)));
    }
    dialog.selectFile(suggested);
    if (run(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return fileNameBytes(dialog.selectedFiles().constFirst());
}

int QtDialogs::runDialog(QDialog& dialog) {
    return closing_ ? int(QDialog::Rejected) : run(dialog);
}

}  // namespace pelmaro::app
