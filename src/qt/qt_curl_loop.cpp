#include "qt/qt_curl_loop.h"

#include <QSocketNotifier>

namespace skarvel {

QtCurlLoop::QtCurlLoop(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { sender_->timeout(); });
}

QtCurlLoop::~QtCurlLoop() {
    for (auto& [socket, w] : watches_) drop(w);
}

void QtCurlLoop::start(CurlSender& sender) {
    sender_ = &sender;
}

void QtCurlLoop::drop(Watch& w) {
    // libcurl forgets a socket from inside the notifier's own signal: delete it later.
    for (QSocketNotifier* n : {w.read, w.write}) {
        if (!n) continue;
        n->setEnabled(false);
        n->deleteLater();
    }
    w = {};
}

void QtCurlLoop::watch(std::intptr_t socket, bool read, bool write) {
    Watch& w = watches_[socket];
    drop(w);
    if (!read && !write) {
        watches_.erase(socket);
        return;
    }
    const auto notifier = [&](QSocketNotifier::Type type, bool readable) {
        auto* n = new QSocketNotifier(qintptr(socket), type, this);
        connect(n, &QSocketNotifier::activated, this,
                [this, socket, readable] { sender_->socketReady(socket, readable, !readable); });
        return n;
    };
    if (read) w.read = notifier(QSocketNotifier::Read, true);
    if (write) w.write = notifier(QSocketNotifier::Write, false);
}

void QtCurlLoop::timer(long ms) {
    if (ms < 0) return timer_.stop();
    timer_.start(int(std::min<long>(ms, 24L * 3600 * 1000)));
}

}  // namespace skarvel
