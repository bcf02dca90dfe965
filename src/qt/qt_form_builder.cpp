#include "qt/qt_form_builder.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <map>

#include "qt/qt_form_fonts.h"

namespace skarvel {

namespace {

QWidget* create(QWidget& form, const Control& c) {
    const QString caption = QString::fromUtf8(c.caption);
    switch (c.kind) {
        case ControlKind::Line: {
            auto* line = new QFrame(&form);
            line->setAutoFillBackground(true);
            QPalette p = line->palette();
            p.setColor(QPalette::Window, p.color(QPalette::WindowText));
            line->setPalette(p);
            return line;
        }
        case ControlKind::Label: {
            auto* label = new QLabel(caption, &form);
            // The state is shown large in the middle of its box.
            if (c.font == FontKind::State) label->setAlignment(Qt::AlignCenter);
            return label;
        }
        case ControlKind::TextBox: {
            auto* box = new QLineEdit(caption, &form);
            box->setReadOnly(c.readOnly);
            return box;
        }
        case ControlKind::Button: {
            auto* button = new QPushButton(caption, &form);
            // Enter must not press a button that lacks the focus.
            button->setAutoDefault(false);
            return button;
        }
        case ControlKind::StatusBar: {
            auto* bar = new QStatusBar(&form);
            bar->setSizeGripEnabled(false);
            return bar;
        }
    }
    return nullptr;
}

}  // namespace

void buildForm(QWidget& form, const FormTable& table) {
    form.setObjectName(QString::fromUtf8(table.name));
    form.setWindowTitle(QString::fromUtf8(table.title));
    form.setFixedSize(table.width, table.height);
    form.setFont(ui::formFont());
    std::map<int, QWidget*> round;
    for (const Control& c : table.controls) {
        QWidget* w = create(form, c);
        w->setObjectName(QString::fromUtf8(c.name));
        w->setGeometry(c.x, c.y, c.width, c.height);
        if (*c.toolTip) w->setToolTip(QString::fromUtf8(c.toolTip));
        if (c.font == FontKind::Bold) w->setFont(ui::formFont(true));
        if (c.font == FontKind::State) w->setFont(ui::stateFont());
        if (c.tabIndex >= 0) {
            round[c.tabIndex] = w;
        } else {
            w->setFocusPolicy(Qt::NoFocus);
        }
    }
    QWidget* previous = nullptr;
    for (const auto& [index, w] : round) {
        if (previous) QWidget::setTabOrder(previous, w);
        previous = w;
    }
    if (!round.empty()) form.setFocusProxy(round.begin()->second);
}

}  // namespace skarvel
