#include "framework/DataExchange.h"

#include <QLineEdit>
#include <QRadioButton>
#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "framework/Dialog.h"
#include "framework/MessageBox.h"

namespace framework {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

bool ParseInteger(const std::string& text, int& value) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    while (begin != end && IsBlank(*begin)) ++begin;
    while (end != begin && IsBlank(end[-1])) --end;
    if (begin != end && *begin == '+') ++begin;
    int parsed = 0;
    const auto [stop, error] = std::from_chars(begin, end, parsed);
    if (begin == end || error != std::errc() || stop != end) return false;
    value = parsed;
    return true;
}

QWidget* DataExchange::Item(int id) const {
    return m_dialog.Item(id);
}

void DataExchange::MissingControl(int id) const {
    std::fprintf(stderr, "dialog %d has no control %d of the bound kind\n", m_dialog.Template().id,
                 id);
    std::abort();
}

void DataExchange::Text(int id, int& value) {
    if (m_failed) return;
    if (!m_saveAndValidate) {
        m_dialog.SetItemText(id, std::to_string(value));
        return;
    }
    if (!ParseInteger(m_dialog.GetItemText(id), value)) Fail(id);
}

void DataExchange::Text(int id, std::string& value) {
    if (m_failed) return;
    if (m_saveAndValidate) {
        value = m_dialog.GetItemText(id);
    } else {
        m_dialog.SetItemText(id, value);
    }
}

void DataExchange::Radio(int id, int& index) {
    if (m_failed) return;
    const std::vector<QWidget*> group = m_dialog.RadioGroup(id);
    if (m_saveAndValidate) {
        index = -1;
        for (std::size_t i = 0; i < group.size(); ++i) {
            if (static_cast<QRadioButton*>(group[i])->isChecked()) index = static_cast<int>(i);
        }
        return;
    }
    for (std::size_t i = 0; i < group.size(); ++i) {
        auto* button = static_cast<QRadioButton*>(group[i]);
        // Auto-exclusive buttons refuse to uncheck; "none selected" is a valid state here.
        button->setAutoExclusive(false);
        button->setChecked(static_cast<int>(i) == index);
        button->setAutoExclusive(true);
    }
}

void DataExchange::Fail(int id) {
    m_failed = true;
    MessageBox(kNotANumberMessage);
    if (auto* field = qobject_cast<QLineEdit*>(m_dialog.Item(id))) {
        field->setFocus(Qt::OtherFocusReason);
        field->selectAll();
    }
}

}  // namespace framework
