#include "app/quit_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <cstring>

namespace pelmaro::app {
namespace {

constexpr int kQuitSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The pipe's write end, for the handler; -1 while no QuitSignals lives.
volatile sig_atomic_t writeEnd = -1;

extern "C" void onQuitSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    // The write end doesn't block: with the pipe full, a close is on its way already.
    [[maybe_unused]] const ssize_t written = ::write(writeEnd, &byte, 1);
    errno = savedErrno;
}

void setHandler(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    ::sigemptyset(&action.sa_mask);
    // A signal that comes while the window's thread waits in a system call doesn't fail it.
    action.sa_flags = SA_RESTART;
    for (const int signal : kQuitSignals) {
        ::sigaction(signal, &action, nullptr);
    }
}

}  // namespace

QuitSignals::QuitSignals(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        // Out of descriptors at start-up: the signals keep ending the program at once.
        qWarning("pelmaro: cannot watch for signals: %s", std::strerror(errno));
        return;
    }
    readEnd_ = ends[0];
    writeEnd = ends[1];
    notifier_ = new QSocketNotifier(readEnd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &QuitSignals::readSignals);
    setHandler(onQuitSignal);
}

QuitSignals::~QuitSignals() {
    if (readEnd_ < 0) {
        return;
    }
    setHandler(SIG_DFL);
    ::close(writeEnd);
    writeEnd = -1;
    delete notifier_;
    ::close(readEnd_);
}

void QuitSignals::readSignals() {
    // Signals that came together are answered once.
    char bytes[64];
    while (::read(readEnd_, bytes, sizeof bytes) > 0) {
    }
    if (onSignal_) {
        onSignal_();
    }
}

}  // namespace pelmaro::app
