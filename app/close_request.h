#pragma once

#include <QAbstractNativeEventFilter>
#include <cstdint>
#include <functional>

class QWidget;

namespace pelmaro::app {

// Hears the window manager's close of a window while a modal box blocks it. The toolkit drops
// that close (a window blocked by a modal one gets no close event from the window system), so
// without this the close does nothing until the box is answered. On X11 the close is the
// WM_DELETE_WINDOW message; other window systems are not heard here.
class BlockedCloseFilter final : public QAbstractNativeEventFilter {
public:
    // `closeAsked` runs on the window's thread, inside the box's loop, when the window manager
    // closes `window` while a modal box is open.
    BlockedCloseFilter(QWidget& window, std::function<void()> closeAsked);
    ~BlockedCloseFilter() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    QWidget& window_;
    std::function<void()> closeAsked_;
    std::uint32_t protocolsAtom_ = 0;
    std::uint32_t deleteWindowAtom_ = 0;
};

}  // namespace pelmaro::app
