#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QObject>

#include <string>
#include <vector>

namespace skarvel::testing {

/// Answers every message box on screen while it lives, as a person pressing OK would, and keeps
/// what each showed.
struct MessageBoxAnswerer : QObject {
    struct Seen {
        std::string text;
    };
    MessageBoxAnswerer() { startTimer(10); }
    void timerEvent(QTimerEvent*) override { collect(); }
    /// Answers the boxes on screen now; returns their texts.
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
};

}  // namespace skarvel::testing
