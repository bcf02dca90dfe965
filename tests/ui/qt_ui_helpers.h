#pragma once

#include <unistd.h>
#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <filesystem>
#include <string>
#include <vector>

#include "core/serial_control.h"
#include "fakes/temp_dir.h"

namespace skarvel::testing {

/// A form as its table gives it: title, size, and a line per child with its place and size, what
/// else it is, its text and its tooltip; then the round that Tab makes from `first`.
inline std::string describe(QWidget& form, QWidget* first) {
    QString out =
        QString::asprintf("%s %dx%d%s\n", qUtf8Printable(form.windowTitle()), form.width(),
                          form.height(), form.minimumSize() == form.maximumSize() ? " fixed" : "");
    for (QWidget* w : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const auto* box = qobject_cast<QLineEdit*>(w);
        const QString text = w->property("text").toString(), tip = w->toolTip();
        out += QString::asprintf("%s %d %d %d %d", qUtf8Printable(w->objectName()), w->x(), w->y(),
                                 w->width(), w->height()) +
               (w->font().bold() ? " bold" : "") + (box && box->isReadOnly() ? " read-only" : "") +
               (text.isEmpty() ? "" : " " + text) + (tip.isEmpty() ? "" : " ~" + tip) + "\n";
    }
    out += "Tab:";
    QWidget* w = first;
    do {
        out += " " + w->objectName();
        do w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus));
    } while (w != first);
    return out.toStdString();
}

/// Answers every message box that is on screen while it lives, recording what it showed.
class MessageBoxAnswerer {
  public:
    struct Seen {
        std::string text;
    };
    MessageBoxAnswerer() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { collect(); });
        timer_.start(10);
    }
    /// Takes the boxes on screen now, in the order each window opened them, as a person
    /// pressing OK on each would; returns their texts.
    std::vector<std::string> collect() {
        std::vector<QMessageBox*> boxes;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->parent()) boxes.push_back(qobject_cast<QMessageBox*>(w));
            for (QObject* child : w->children()) boxes.push_back(qobject_cast<QMessageBox*>(child));
        }
        std::vector<std::string> texts;
        for (QMessageBox* box : boxes) {
            if (!box || !box->isVisible()) continue;
            texts.push_back(box->text().toStdString());
            seen.push_back({texts.back()});
            box->button(QMessageBox::Ok)->click();
        }
        return texts;
    }
    std::vector<Seen> seen;

  private:
    QTimer timer_;
};

/// A sensor that always has a good line waiting.
struct SteadySensor : SerialControl {
    explicit SteadySensor(std::string text) : line(std::move(text)) {}
    void setCommPort(std::int16_t) override {}
    std::int16_t commPort() const override { return 1; }
    void setInputLen(int) override {}
    void setInputMode(int) override {}
    void setRThreshold(int) override {}
    void setPortOpen(bool) override {}
    bool portOpen() const override { return true; }
    void setSettings(const std::string&) override {}
    int inBufferCount() override { return int(line.size()); }
    void setInBufferCount(int) override {}
    std::vector<std::uint8_t> input() override { return {line.begin(), line.end()}; }
    bool deviceGone() const override { return false; }
    const std::string line;
};

inline SerialFactory steadySensor(std::string line) {
    return [line] { return std::make_unique<SteadySensor>(line); };
}

/// The folder as Qt takes it.
inline QString qpath(const TempDir& dir) {
    return QString::fromStdString(dir.str());
}

}  // namespace skarvel::testing
