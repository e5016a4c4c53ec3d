#pragma once

#include <string>

// The switches the embedded browser engine starts with.
namespace pelmaro::app {

// Hands the engine the switches that keep pages off every socket WebRTC and the network service
// could open (see engineSwitches()); must run before the engine starts, that is before the first
// web profile or page exists (main() calls it before the QApplication). The engine reads them
// from QTWEBENGINE_CHROMIUM_FLAGS, after any the user put there; restoreEngineEnvironment() puts
// the variable back once the engine has read it, so that programs the reader starts (the
// desktop's browser) don't inherit them.
void setEngineSwitches();
void restoreEngineEnvironment();

// The switches, merged into `userFlags` (a QTWEBENGINE_CHROMIUM_FLAGS value):
// - WebRTC sends nothing over UDP (no STUN, no TURN over UDP, no ICE checks) and gathers no
//   local addresses;
// - no host name or address resolves, so nothing the network service would connect to is
//   reached (TURN over TCP, preconnect, WebSocket, WebTransport, beacons) and no DNS query leaves;
// - no mDNS responder for WebRTC candidates, no hyperlink-auditing pings.
std::string engineSwitches(const std::string& userFlags);

}  // namespace pelmaro::app
