#pragma once

#include <string>

// The switches the embedded browser engine starts with, so that no page reaches the network.
namespace pelmaro::browsing {

// The switches, merged into `userFlags` (a QTWEBENGINE_CHROMIUM_FLAGS value):
// - WebRTC sends nothing over UDP (no STUN, no TURN over UDP, no ICE checks) and gathers no
//   local addresses;
// - no host name or address resolves, so nothing the network service would connect to is
//   reached (TURN over TCP, preconnect, WebSocket, WebTransport, beacons) and no DNS query leaves;
// - no mDNS responder for WebRTC candidates, no hyperlink-auditing pings;
// - with `darkPages`, pages are drawn dark by the engine (light backgrounds darkened, dark text
//   lightened), images left as they are; a page that offers a dark scheme of its own keeps it.
//   The engine reads this once, at its start.
std::string engineSwitches(const std::string& userFlags, bool darkPages = false);

}  // namespace pelmaro::browsing
