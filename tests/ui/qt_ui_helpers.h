#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <string>
#include <vector>

namespace skarvel::testing {

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
    /// Takes the boxes on screen now, as a person pressing OK on each would; returns their
    /// texts.
    std::vector<std::string> collect() {
        std::vector<std::string> texts;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
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

}  // namespace skarvel::testing
