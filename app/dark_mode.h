#pragma once

#include <QObject>
#include <QString>
#include <optional>

class QDBusVariant;

namespace pelmaro::platform {
class SettingsStore;
}  // namespace pelmaro::platform

namespace pelmaro::app {

// Whether the desktop prefers dark colours: the desktop portal's "color-scheme" (1 dark, 2 light),
// else whether the toolkit's palette has light text on a dark window. Asks the portal with a
// short timeout (start-up waits for it before the engine starts).
bool desktopPrefersDark();

// Whether the reader starts dark: the user's choice stored in the settings, else the desktop's.
bool startsDark(platform::SettingsStore& settings);

// The window's colours, dark or the style's own; our own texts, lists and dialogs follow them.
void applyWindowColours(bool dark);

// The dark-mode switch of a running reader. The window changes at once; the pages are darkened by
// the engine, which reads that only when it starts, so a change for them waits for the next start
// (and is said so). Without a choice of the user's it follows the desktop's colour scheme.
class DarkMode final : public QObject {
    Q_OBJECT

public:
    // `choice`: the stored choice (nullopt: follow the desktop); `pagesDark`: what the engine was
    // started with.
    DarkMode(std::optional<bool> choice, bool pagesDark, QObject* parent = nullptr);

    bool dark() const { return dark_; }
    // What to store: nullopt while the user has never switched.
    std::optional<bool> choice() const { return choice_; }
    bool pagesDark() const { return pagesDark_; }

    // The switch: dark becomes light and light dark, from now on the user's choice.
    void toggle();
    // The choice stored at the last run, shown when there is one.
    void restoreChoice(std::optional<bool> choice);

signals:
    // The window has changed colours; `note` tells when the pages follow ("" when they do now).
    void changed(bool dark, const QString& note);

private slots:
    void desktopSettingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    void show(bool dark);

    std::optional<bool> choice_;
    bool pagesDark_;
    bool dark_;
};

}  // namespace pelmaro::app
