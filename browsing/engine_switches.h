#pragma once

#include <string>

// The switches the embedded browser engine starts with, so that no page reaches the network.
namespace pelmaro::browsing {

// The switches, merged into `userFlags` (a QTWEBENGINE_CHROMIUM_FLAGS value):
// - WebRTC sends nothing over UDP (no STUN, no TURN over UDP, no ICE checks) and gathers no
//   local addresses;
// - no host name or address resolves, so nothing the network service would connect to is
//   reached (TURN over TCP, preconnect, WebSocket, WebTransport, beacons) and no DNS query leaves;
// - no mDNS responder for WebRTC candidates, no hyperlink-auditing pings.
std::string engineSwitches(const std::string& userFlags);

}  // namespace pelmaro::browsing
