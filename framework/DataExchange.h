// One pass of a window's field binding, in either direction. Reading stops at the first
// field that holds no integer: that field is reported, takes the focus, and every later
// binding of the pass is skipped.
#pragma once

#include <string>

namespace framework {

class Dialog;
class TreeCtrl;
class SliderCtrl;
class SpinButtonCtrl;

inline constexpr char kNotANumberMessage[] = "Please enter a whole number.";

class DataExchange {
public:
    DataExchange(Dialog& dialog, bool saveAndValidate)
        : m_dialog(dialog), m_saveAndValidate(saveAndValidate) {}

    bool SaveAndValidate() const { return m_saveAndValidate; }
    bool Failed() const { return m_failed; }

    // Attaches a handle to its control once; a missing control is a build fault and aborts.
    void Control(int id, TreeCtrl& tree);
    void Control(int id, SliderCtrl& slider);
    void Control(int id, SpinButtonCtrl& spin);

    // A field's text as a signed 32-bit integer.
    void Text(int id, int& value);
    // A control's text as it stands.
    void Text(int id, std::string& value);
    // The index of the checked button of the radio group that starts at id, -1 for none.
    void Radio(int id, int& index);

private:
    void Fail(int id);

    Dialog& m_dialog;
    bool m_saveAndValidate;
    bool m_failed = false;
};

// Parses a whole signed 32-bit integer, surrounding blanks allowed; false for anything else.
bool ParseInteger(const std::string& text, int& value);

}  // namespace framework
