#pragma once

#include <QFile>
#include <QString>
#include <string>
#include <string_view>

// The one crossing between the logic's byte strings and Qt's text.
namespace pelmaro::app {

// Bytes as the window shows them: UTF-8, with each invalid byte as a replacement character, so
// that nothing crashes or vanishes.
inline QString toQString(std::string_view bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// What the user typed, as the logic's bytes (UTF-8).
inline std::string toBytes(const QString& text) {
    return text.toStdString();
}

// A file name as the system spells it: names that are not UTF-8 come back byte for byte.
inline std::string fileNameBytes(const QString& fileName) {
    return QFile::encodeName(fileName).toStdString();
}

}  // namespace pelmaro::app
