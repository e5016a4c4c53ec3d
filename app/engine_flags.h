#pragma once

// The switches the embedded browser engine starts with.
namespace pelmaro::app {

// Hands the engine the switches that keep pages off every socket WebRTC and the network service
// could open (see browsing::engineSwitches()); must run before the engine starts, that is before
// the first web profile or page exists (main() calls it before the QApplication). The engine reads
// them from QTWEBENGINE_CHROMIUM_FLAGS, after any the user put there; restoreEngineEnvironment()
// puts the variable back once the engine has read it, so that programs the reader starts (the
// desktop's browser) don't inherit them.
// With `darkPages`, the engine draws pages dark (browsing::engineSwitches()).
void setEngineSwitches(bool darkPages = false);
void restoreEngineEnvironment();
// What setEngineSwitches() was given last.
bool pagesDarkened();

}  // namespace pelmaro::app
