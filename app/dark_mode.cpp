#include "app/dark_mode.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QPalette>
#include <QStyle>
#include <exception>

#include "reader/view_settings.h"

namespace pelmaro::app {

namespace {

constexpr char kPortalService[] = "org.freedesktop.portal.Desktop";
constexpr char kPortalPath[] = "/org/freedesktop/portal/desktop";
constexpr char kPortalSettings[] = "org.freedesktop.portal.Settings";
constexpr char kAppearance[] = "org.freedesktop.appearance";
constexpr char kColorScheme[] = "color-scheme";
// The portal answers in a few milliseconds; a desktop without one answers at once that there is
// none. Only a stuck session bus makes start-up wait this long.
constexpr int kPortalTimeoutMs = 300;

// The portal's colour scheme as the reader reads it: dark, light, or no preference (nullopt).
std::optional<bool> schemeIsDark(const QVariant& value) {
    // Read() wraps the value in one variant more than SettingChanged does.
    QVariant inner = value;
    while (inner.canConvert<QDBusVariant>() && inner.userType() == qMetaTypeId<QDBusVariant>()) {
        inner = inner.value<QDBusVariant>().variant();
    }
    bool ok = false;
    const uint scheme = inner.toUInt(&ok);
    if (!ok || (scheme != 1 && scheme != 2)) {
        return std::nullopt;
    }
    return scheme == 1;
}

bool paletteIsDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() <
           palette.color(QPalette::WindowText).lightness();
}

// Every colour of `palette` set as if by hand: widgets take a palette's colours over the ones they
// have only where it says they were set.
QPalette everyColourSet(const QPalette& palette) {
    QPalette set;
    for (int group = 0; group < QPalette::NColorGroups; ++group) {
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const auto g = static_cast<QPalette::ColorGroup>(group);
            const auto r = static_cast<QPalette::ColorRole>(role);
            set.setBrush(g, r, palette.brush(g, r));
        }
    }
    return set;
}

// The desktop's colours as they were before the reader changed them, when they are light; else
// the style's own light ones.
const QPalette& lightPalette() {
    static const QPalette palette = everyColourSet(paletteIsDark(QApplication::palette())
                                                       ? QApplication::style()->standardPalette()
                                                       : QApplication::palette());
    return palette;
}

QPalette darkPalette() {
    QPalette palette;
    const QColor window(45, 45, 48);
    const QColor base(30, 30, 32);
    const QColor text(230, 230, 230);
    const QColor disabled(128, 128, 128);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::ToolTipBase, window);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, disabled);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, window);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, QColor(255, 80, 80));
    palette.setColor(QPalette::Light, QColor(70, 70, 74));
    palette.setColor(QPalette::Midlight, QColor(60, 60, 64));
    palette.setColor(QPalette::Mid, QColor(40, 40, 42));
    palette.setColor(QPalette::Dark, QColor(20, 20, 22));
    palette.setColor(QPalette::Shadow, Qt::black);
    palette.setColor(QPalette::Highlight, QColor(42, 110, 187));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(110, 170, 255));
    palette.setColor(QPalette::LinkVisited, QColor(180, 140, 255));
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, disabled);
    }
    return palette;
}

}  // namespace

bool desktopPrefersDark() {
    QDBusMessage read = QDBusMessage::createMethodCall(
        QString::fromLatin1(kPortalService), QString::fromLatin1(kPortalPath),
        QString::fromLatin1(kPortalSettings), QStringLiteral("Read"));
    read << QString::fromLatin1(kAppearance) << QString::fromLatin1(kColorScheme);
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        const QDBusMessage reply = bus.call(read, QDBus::Block, kPortalTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            if (const std::optional<bool> dark = schemeIsDark(reply.arguments().constFirst())) {
                return *dark;
            }
        }
    }
    return paletteIsDark(QApplication::palette());
}

bool startsDark(platform::SettingsStore& settings) {
    std::optional<bool> chosen;
    try {
        chosen = readViewSettings(settings).darkMode;
    } catch (const std::exception&) {
        // A settings file that can't be read is reported once the window starts.
    }
    return chosen ? *chosen : desktopPrefersDark();
}

void applyWindowColours(bool dark) {
    (void)lightPalette();  // remembered before the first change
    QApplication::setPalette(dark ? darkPalette() : lightPalette());
}

DarkMode::DarkMode(std::optional<bool> choice, bool pagesDark, QObject* parent)
    : QObject(parent),
      choice_(choice),
      pagesDark_(pagesDark),
      dark_(paletteIsDark(QApplication::palette())) {
    QDBusConnection::sessionBus().connect(
        QString::fromLatin1(kPortalService), QString::fromLatin1(kPortalPath),
        QString::fromLatin1(kPortalSettings), QStringLiteral("SettingChanged"), this,
        SLOT(desktopSettingChanged(QString, QString, QDBusVariant)));
}

void DarkMode::toggle() {
    choice_ = !dark_;
    show(*choice_);
}

void DarkMode::restoreChoice(std::optional<bool> choice) {
    choice_ = choice;
    if (choice) {
        show(*choice);
    }
}

void DarkMode::desktopSettingChanged(const QString& group, const QString& key,
                                     const QDBusVariant& value) {
    if (choice_ || group != QLatin1String(kAppearance) || key != QLatin1String(kColorScheme)) {
        return;
    }
    const std::optional<bool> dark = schemeIsDark(value.variant());
    show(dark.value_or(false));
}

void DarkMode::show(bool dark) {
    if (dark == dark_) {
        return;
    }
    dark_ = dark;
    applyWindowColours(dark);
    QString note;
    if (dark != pagesDark_) {
        note = dark ? QStringLiteral("Pages are shown dark from the next start.")
                    : QStringLiteral("Pages are shown light again from the next start.");
    }
    emit changed(dark, note);
}

}  // namespace pelmaro::app
