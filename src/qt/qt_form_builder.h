#pragma once

#include <QWidget>

#include "forms/form_table.h"

namespace skarvel {

/// Gives `form` the table's title and fixed size and creates its controls as children named as
/// in the table, in the Tab round the table gives: lines, labels, read-only or editable text
/// boxes, buttons and a status bar. The first control of the Tab round has the focus.
void buildForm(QWidget& form, const FormTable& table);

}  // namespace skarvel
