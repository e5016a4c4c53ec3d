#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace pelmaro::app {

// Turns SIGTERM, SIGHUP and SIGINT (kill, the end of the desktop session, Ctrl+C) into a call of
// `onSignal` on the thread that made this object, from its event loop. The handler itself only
// writes a byte into a pipe, since almost nothing else may be done inside one; the work happens
// when the loop reads it. One at a time per process; its end gives the signals back their
// default action.
class QuitSignals : public QObject {
public:
    explicit QuitSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    ~QuitSignals() override;

    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

private:
    void readSignals();

    std::function<void()> onSignal_;
    int readEnd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace pelmaro::app
