#pragma once

#include <QObject>
#include <QTimer>
#include <map>
#include <memory>

#include "notify/curl_sender.h"

class QSocketNotifier;

namespace skarvel {

/// libcurl's sockets watched by notifiers and its timer driven by a QTimer.
class QtCurlLoop final : public QObject, public CurlLoop {
    Q_OBJECT
  public:
    explicit QtCurlLoop(QObject* parent = nullptr);
    ~QtCurlLoop() override;

  private:
    struct Watch {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };
    void start(CurlSender& sender) override;
    void watch(std::intptr_t socket, bool read, bool write) override;
    void timer(long ms) override;
    void drop(Watch& w);

    CurlSender* sender_ = nullptr;
    std::map<std::intptr_t, Watch> watches_;
    QTimer timer_;
};

}  // namespace skarvel
