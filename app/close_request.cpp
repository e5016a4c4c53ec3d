#include "app/close_request.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QWidget>
#include <QWindow>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace pelmaro::app {

namespace {

xcb_connection_t* x11Connection() {
    const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

std::uint32_t atom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(std::strlen(name)), name);
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

}  // namespace

BlockedCloseFilter::BlockedCloseFilter(QWidget& window, std::function<void()> closeAsked)
    : window_(window), closeAsked_(std::move(closeAsked)) {
    if (xcb_connection_t* connection = x11Connection()) {
        protocolsAtom_ = atom(connection, "WM_PROTOCOLS");
        deleteWindowAtom_ = atom(connection, "WM_DELETE_WINDOW");
        qApp->installNativeEventFilter(this);
    }
}

BlockedCloseFilter::~BlockedCloseFilter() {
    qApp->removeNativeEventFilter(this);
}

bool BlockedCloseFilter::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE) {
        return false;
    }
    const auto* client = static_cast<const xcb_client_message_event_t*>(message);
    const QWindow* handle = window_.windowHandle();
    if (client->format != 32 || client->type != protocolsAtom_ ||
        client->data.data32[0] != deleteWindowAtom_ || handle == nullptr ||
        client->window != handle->winId() || QApplication::activeModalWidget() == nullptr) {
        return false;  // the toolkit handles it: not a close, or nothing blocks the window
    }
    closeAsked_();
    return true;
}

}  // namespace pelmaro::app
