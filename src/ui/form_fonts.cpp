#include "ui/form_fonts.h"

namespace skarvel::ui {

QFont formFont(bool bold) {
    QFont font("MS Sans Serif");
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    font.setBold(bold);
    return font;
}

QFont stateFont() {
    QFont font("Microsoft Sans Serif");
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(36);
    font.setBold(true);
    return font;
}

}  // namespace skarvel::ui
