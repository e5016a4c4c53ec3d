#pragma once

#include <QBuffer>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <QWidget>
#include <memory>
#include <string>

// Helpers of the tests that look into the real page view.
namespace pelmaro::test {

// The result of a script run in the page, waiting at most 10 s for it.
inline QVariant evaluate(QWebEnginePage* page, const QString& script) {
    auto result = std::make_shared<std::pair<bool, QVariant>>();
    page->runJavaScript(script, [result](const QVariant& value) { *result = {true, value}; });
    if (!QTest::qWaitFor([&] { return result->first; }, 10000)) {
        return QStringLiteral("<no answer from the page>");
    }
    return result->second;
}

// Waits until the page has finished the load that `start` begins; false after 15 s.
template <typename Start>
bool loadAndWait(QWebEnginePage* page, Start start) {
    QSignalSpy finished(page, &QWebEnginePage::loadFinished);
    start();
    return finished.wait(15000);
}

// Clicks the middle of the page's element with that id as the user would, with the mouse: the
// pointer goes there first (the engine then shows the link under it), and the click follows.
// Links that open windows or other programs need a user's click on them.
inline bool clickElement(QWidget* view, QWebEnginePage* page, const QString& id) {
    const QVariantList centre =
        evaluate(page, QStringLiteral("(e => e ? (r => [r.x + r.width / 2, r.y + r.height / 2, "
                                      "!!e.closest('a[href]')])(e.getBoundingClientRect()) : [])("
                                      "document.getElementById('%1'))")
                           .arg(id))
            .toList();
    QWidget* target = view->focusProxy() ? view->focusProxy() : view;
    if (centre.size() != 3) {
        return false;
    }
    const QPoint point(qRound(centre[0].toDouble()), qRound(centre[1].toDouble()));
    QSignalSpy hovered(page, &QWebEnginePage::linkHovered);
    QTest::mouseMove(target, point);
    if (centre[2].toBool() && hovered.isEmpty() && !hovered.wait(2000)) {
        return false;
    }
    QTest::mouseClick(target, Qt::LeftButton, {}, point);
    return true;
}

// A small image in the named format ("JPG", "BMP"), as file bytes.
inline std::string imageBytes(const char* format, int width = 3, int height = 2) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes.toStdString();
}

// A 1 x 1 GIF (Qt reads GIF but can't write it).
inline std::string gifBytes() {
    static const unsigned char kGif[] = {
        0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00, 0xff, 0xff,
        0xff, 0x00, 0x00, 0x00, 0x21, 0xf9, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00,
        0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3b};
    return std::string(reinterpret_cast<const char*>(kGif), sizeof kGif);
}

}  // namespace pelmaro::test
