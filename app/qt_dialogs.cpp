#include "app/qt_dialogs.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace pelmaro::app {

namespace {

QString fromBytes(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toBytes(const QString& text) {
    return text.toUtf8().toStdString();
}

}  // namespace

int runModally(QDialog& dialog) {
    return dialog.exec();
}

QString nameFilter(const platform::FileFilter& filter) {
    const QString label = fromBytes(filter.label);
    const QString pattern =
        filter.pattern == "*.*" ? QStringLiteral("*") : fromBytes(filter.pattern);
    return label == pattern ? pattern : label + QStringLiteral(" (") + pattern + QLatin1Char(')');
}

QtDialogs::QtDialogs(QString applicationTitle, ModalRunner run)
    : title_(std::move(applicationTitle)), run_(std::move(run)) {}

void QtDialogs::attach(QWidget* owner, const platform::Window* window) {
    owner_ = owner;
    window_ = window;
}

void QtDialogs::showMessage(const std::string& text) {
    if (closing()) {
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, title_, fromBytes(text), QMessageBox::Ok, owner_);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    run_(box);
}

bool QtDialogs::askYesNo(const std::string& caption, const std::string& text) {
    if (closing()) {
        return false;
    }
    QMessageBox box(QMessageBox::Information, fromBytes(caption), fromBytes(text),
                    QMessageBox::NoButton, owner_);
    QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);  // closing the box without an answer is No
    run_(box);
    return box.clickedButton() == yes;
}

std::string QtDialogs::inputBox(const std::string& caption, const std::string& prompt,
                                const std::string& preset) {
    if (closing()) {
        return preset;
    }
    QInputDialog dialog(owner_);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(fromBytes(caption));
    dialog.setLabelText(fromBytes(prompt));
    dialog.setTextValue(fromBytes(preset));
    if (auto* edit = dialog.findChild<QLineEdit*>()) {
        edit->setMaxLength(255);
    }
    if (run_(dialog) != QDialog::Accepted) {
        return preset;
    }
    return toBytes(dialog.textValue());
}

std::string QtDialogs::pickFolder(const std::string& instruction) {
    if (closing()) {
        return {};
    }
    QFileDialog dialog(owner_, fromBytes(instruction), QDir::homePath());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (run_(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

std::optional<std::string> QtDialogs::openFile(const std::string& title,
                                               const std::vector<platform::FileFilter>& filters) {
    if (closing()) {
        return std::nullopt;
    }
    QStringList nameFilters;
    for (const platform::FileFilter& filter : filters) {
        nameFilters << nameFilter(filter);
    }
    QFileDialog dialog(owner_, fromBytes(title));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(nameFilters);
    if (!lastFilter_.isEmpty()) {
        dialog.selectNameFilter(lastFilter_);
    }
    if (!lastFileName_.isEmpty()) {
        dialog.selectFile(lastFileName_);
    }
    if (run_(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    lastFileName_ = dialog.selectedFiles().constFirst();
    lastFilter_ = dialog.selectedNameFilter();
    return QFile::encodeName(lastFileName_).toStdString();
}

}  // namespace pelmaro::app
