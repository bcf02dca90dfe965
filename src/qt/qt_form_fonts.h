#pragma once

#include <QFont>

namespace skarvel::ui {

/// The forms' font: "MS Sans Serif" 8.25 pt where it exists, otherwise the nearest sans font.
QFont formFont(bool bold = false);
/// The state label's font: 36 pt bold sans.
QFont stateFont();

}  // namespace skarvel::ui
