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

// A bidirectional control in text from a page or a file name turns what follows it around as
// shown: "report\u202Efdp.exe" reads "reportexe.pdf". The window shows each such control
// (U+200E, U+200F, U+061C, U+202A-U+202E, U+2066-U+2069) as this mark, the replacement character
// that every font has, so that the text reads in its stored order and the trick is visible.
// Only the shown text changes; the bytes the window keeps and hands back are the stored ones.
inline constexpr char16_t kBidiControlMark = u'\uFFFD';

inline bool isBidiControl(char16_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

// Text shown on its own (a list row, a tooltip, the hovered link): its bidirectional controls
// as marks.
inline QString withBidiMarks(QString text) {
    for (QChar& c : text) {
        if (isBidiControl(c.unicode())) {
            c = QChar(kBidiControlMark);
        }
    }
    return text;
}

// Bytes from a page or a file name as the window shows them on their own.
inline QString shownText(std::string_view bytes) {
    return withBidiMarks(toQString(bytes));
}

// Text placed inside a sentence of ours ("not opened: " + url): marked as above, and isolated
// (U+2068 ... U+2069), so that right-to-left letters in it can't reorder the words around it.
inline QString isolatedText(const QString& text) {
    return QChar(0x2068) + withBidiMarks(text) + QChar(0x2069);
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
