// One pass of a window's field binding, in either direction. Reading stops at the first
// field that holds no integer: that field is reported, takes the focus, and every later
// binding of the pass is skipped.
#pragma once

#include <QWidget>
#include <string>

#include "framework/Bound.h"

namespace framework {

class Dialog;

inline constexpr char kNotANumberMessage[] = "Please enter a whole number.";

class DataExchange {
public:
    DataExchange(Dialog& dialog, bool saveAndValidate)
        : m_dialog(dialog), m_saveAndValidate(saveAndValidate) {}

    bool SaveAndValidate() const { return m_saveAndValidate; }
    bool Failed() const { return m_failed; }

    // Attaches a handle to its control once; a missing control is a build fault and aborts.
    template <class Widget>
    void Control(int id, Bound<Widget>& control) {
        if (control.IsAttached()) return;
        auto* widget = qobject_cast<Widget*>(Item(id));
        if (!widget) MissingControl(id);
        control.Attach(widget);
    }

    // A field's text as a signed 32-bit integer.
    void Text(int id, int& value);
    // A control's text as it stands.
    void Text(int id, std::string& value);
    // The index of the checked button of the radio group that starts at id, -1 for none.
    void Radio(int id, int& index);

private:
    QWidget* Item(int id) const;
    [[noreturn]] void MissingControl(int id) const;
    void Fail(int id);

    Dialog& m_dialog;
    bool m_saveAndValidate;
    bool m_failed = false;
};

// Parses a whole signed 32-bit integer, surrounding blanks allowed; false for anything else.
bool ParseInteger(const std::string& text, int& value);

}  // namespace framework
