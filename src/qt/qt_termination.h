#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class QSocketNotifier;

namespace skarvel {

/// SIGTERM, SIGINT and SIGHUP close `window` as its close box does, so a service stop or a
/// shutdown saves the settings and releases the serial port's lock file. One per process.
class QtTerminationSignals final : public QObject {
    Q_OBJECT
  public:
    explicit QtTerminationSignals(QWidget* window);
    ~QtTerminationSignals() override;

  private:
    void onSignal();

    QPointer<QWidget> window_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace skarvel
