// Controls made from their template: the widget for each kind, its style and its focus.
#pragma once

#include <QString>

#include "framework/DialogTemplate.h"

class QLineEdit;
class QWidget;

namespace framework {

class SpinButton;

// Shown beside a number field that refused a character.
inline constexpr char kDigitsOnlyMessage[] = "Only the digits 0 to 9 can go in this field.";

// A template's text; a missing one is empty.
QString TemplateText(const char* text);

// The widget for the control, named for its id; the caller places it.
QWidget* BuildControl(const ControlTemplate& control, QWidget* parent);

// No horizontal scrolling: input stops at what the field can show.
void LimitToVisibleDigits(QLineEdit* edit);

// Gives the spin button its buddy field and seats it at the field's right edge, narrowing the
// field by the spin button's width.
void AttachToBuddy(SpinButton* spin, QLineEdit* buddy);

}  // namespace framework
