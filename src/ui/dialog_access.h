// What a screen reader and a keyboard user meet in a dialog built from a template: every control named as a
// sighted user reads it, labels tied to their fields, and Tab going through the controls in a sensible order.
#pragma once

#include <QString>
#include <vector>

#include "res/dialog_template.h"

class QWidget;

namespace ui {

// A label or button text as a name: without the spacing that spreads it over its box, the colon and the
// mnemonic marker ("标   题:" -> "标题", "管    理" -> "管理").
QString SpokenName(const QString& label);

// `widgets[i]` is the control built for `t.controls[i]`. Each field, combo, list and tree is named by the
// label to its left on its row (lists and unlabelled fields: the dialog's caption) and that label becomes its
// buddy; each button by its text, and where several buttons share a text, each is described by its row's label.
// Tab follows the template's order, with the dialog's own OK / Cancel (or exit) buttons last.
void MakeAccessible(const res::DialogTemplate& t, const std::vector<QWidget*>& widgets);

}  // namespace ui
