#pragma once

#include <unistd.h>
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <filesystem>
#include <string>
#include <vector>

#include "core/serial_control.h"
#include "fakes/temp_dir.h"

namespace skarvel::testing {

/// The next widget that Tab moves the focus to.
inline QWidget* nextTabStop(QWidget* w) {
    QWidget* next = w->nextInFocusChain();
    while (next != w && !(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
    return next;
}

/// Answers every message box that is on screen while it lives, recording title, text and icon.
class MessageBoxAnswerer {
  public:
    struct Seen {
        std::string title, text;
        QMessageBox::Icon icon;
        int buttons;
        bool modal;
    };
    MessageBoxAnswerer() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { collect(); });
        timer_.start(10);
    }
    /// Takes the boxes on screen now, in the order each window opened them, as a person
    /// pressing OK on each would.
    void collect() {
        std::vector<QMessageBox*> boxes;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->parent()) boxes.push_back(qobject_cast<QMessageBox*>(w));
            for (QObject* child : w->children()) boxes.push_back(qobject_cast<QMessageBox*>(child));
        }
        for (QMessageBox* box : boxes) {
            if (!box || !box->isVisible()) continue;
            seen.push_back({box->windowTitle().toStdString(), box->text().toStdString(),
                            box->icon(), int(box->buttons().size()), box->isModal()});
            box->button(QMessageBox::Ok)->click();
        }
    }
    std::vector<Seen> seen;

  private:
    QTimer timer_;
};

/// A sensor that always has a good line waiting.
class SteadySensor : public SerialControl {
  public:
    explicit SteadySensor(std::string line) : line_(std::move(line)) {}
    void setCommPort(std::int16_t p) override { port_ = p; }
    std::int16_t commPort() const override { return port_; }
    void setInputLen(int) override {}
    void setInputMode(int) override {}
    void setRThreshold(int) override {}
    void setPortOpen(bool open) override { open_ = open; }
    bool portOpen() const override { return open_; }
    void setSettings(const std::string&) override {}
    int inBufferCount() override { return int(line_.size()); }
    void setInBufferCount(int) override {}
    std::vector<std::uint8_t> input() override { return {line_.begin(), line_.end()}; }
    bool deviceGone() const override { return false; }

  private:
    std::string line_;
    std::int16_t port_ = 0;
    bool open_ = false;
};

inline SerialFactory steadySensor(std::string line) {
    return [line] { return std::make_unique<SteadySensor>(line); };
}

/// The folder as Qt takes it.
inline QString qpath(const TempDir& dir) {
    return QString::fromStdString(dir.str());
}

}  // namespace skarvel::testing
