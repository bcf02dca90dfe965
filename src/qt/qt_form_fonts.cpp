#include "qt/qt_form_fonts.h"

#include <QFontInfo>
#include <QFontMetricsF>

namespace skarvel::ui {

namespace {

// A substitute font is often wider than the one the layout was drawn for; shrink it until the
// widest caption fits its label, so nothing is clipped.
QFont fitted(QFont font, const QString& sample, double widthPx) {
    const double width = QFontMetricsF(font).horizontalAdvance(sample);
    if (width > widthPx) font.setPointSizeF(font.pointSizeF() * widthPx / width);
    return font;
}

}  // namespace

QFont formFont(bool bold) {
    QFont font("MS Sans Serif");
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    font = fitted(font, "Temperature difference", 119);
    font.setBold(bold);
    return font;
}

QFont stateFont() {
    QFont font("Microsoft Sans Serif");
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(36);
    font.setBold(true);
    return fitted(font, "V.CLOUDY", 269);
}

}  // namespace skarvel::ui
