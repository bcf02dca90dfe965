#include "qt/qt_termination.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#endif

namespace skarvel {

#ifdef Q_OS_UNIX
namespace {

int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here; the window is closed from the event loop.
extern "C" void onTerminationSignal(int signal) {
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t ignored = ::write(signalPipe[0], &byte, 1);
}

}  // namespace
#endif

QtTerminationSignals::QtTerminationSignals(QWidget* window) : window_(window) {
#ifdef Q_OS_UNIX
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return;
    notifier_ = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &QtTerminationSignals::onSignal);
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(s, &action, nullptr);
#endif
}

QtTerminationSignals::~QtTerminationSignals() {
#ifdef Q_OS_UNIX
    if (!notifier_) return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (int s : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(s, &action, nullptr);
    delete notifier_;
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
#endif
}

void QtTerminationSignals::onSignal() {
#ifdef Q_OS_UNIX
    char byte = 0;
    [[maybe_unused]] const ssize_t ignored = ::read(signalPipe[1], &byte, 1);
#endif
    if (window_) window_->close();
}

}  // namespace skarvel
