#include "framework/Dialog.h"

#include <QAbstractButton>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <optional>

#include "framework/ControlBuilder.h"
#include "framework/DataExchange.h"
#include "framework/NativeSystemMenu.h"
#include "framework/SpinButton.h"
#include "framework/StaticText.h"
#include "framework/TrackBar.h"

namespace framework {

Dialog::Dialog(const DialogTemplate& dialogTemplate, QWidget* parent)
    : QDialog(parent), m_template(dialogTemplate), m_systemMenu(new QMenu(this)) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(TemplateText(m_template.title));
    AppendSystemMenuItem(kSystemCommandClose, "&Close");
    auto* menuKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
    connect(menuKey, &QShortcut::activated, this,
            [this] { ShowSystemMenu(mapToGlobal(QPoint(0, 0))); });
}

Dialog::~Dialog() {
    StopAllTimers();
}

void Dialog::Create() {
    if (m_created) return;
    m_created = true;
    m_font = DialogFont(m_template.fontFace, m_template.pointSize);
    setFont(m_font);
    m_units = BaseUnitsOf(m_font);
    setFixedSize(ToPixelsX(m_template.width, m_units), ToPixelsY(m_template.height, m_units));
    for (const ControlTemplate& control : m_template.controls) {
        QWidget* widget = BuildControl(control, this);
        widget->setGeometry(ToPixels(control.x, control.y, control.width, control.height, m_units));
        m_controls.push_back({&control, widget});
        ConnectNotifications(control, widget);
    }
    AttachSpinButtons();
    for (const ControlEntry& entry : m_controls) {
        if (auto* edit = qobject_cast<QLineEdit*>(entry.widget)) LimitToVisibleDigits(edit);
    }
    ChainTabOrder();
    OnInitDialog();
}

int Dialog::DoModal() {
    Create();
    if (QuitRequested()) return kQuitResult;
    setWindowModality(Qt::ApplicationModal);
    setResult(0);
    show();
    for (const ControlEntry& entry : m_controls) {
        if (entry.control->style & kTabStop) {
            entry.widget->setFocus(Qt::TabFocusReason);
            break;
        }
    }
    const int result = m_modalLoop.Run();
    StopAllTimers();
    hide();
    return result;
}

void Dialog::EndDialog(int result) {
    m_modalLoop.Exit(result);
    QDialog::done(result);
}

bool Dialog::UpdateData(bool saveAndValidate) {
    DataExchange exchange(*this, saveAndValidate);
    if (!saveAndValidate) ++m_writingFields;
    DoDataExchange(exchange);
    if (!saveAndValidate) --m_writingFields;
    return !exchange.Failed();
}

bool Dialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void Dialog::OnOK() {
    if (!UpdateData(true)) return;
    EndDialog(kIdOk);
}

void Dialog::OnCancel() {
    EndDialog(kIdCancel);
}

void Dialog::SetTimer(int id, int milliseconds) {
    QTimer*& timer = m_timers[id];
    if (!timer) {
        timer = new QTimer(this);
        // Delivered straight from the timer's event: a posted event would cost the idle
        // program a second pass of the event loop every tick.
        connect(timer, &QTimer::timeout, this, [this, id, timer] {
            if (!HasTimer(id)) return;
            const TimerHandlerScope scope(*timer);
            Event event{EventKind::Timer};
            event.controlId = id;
            SendEvent(event);
        });
    }
    timer->start(milliseconds);
}

void Dialog::KillTimer(int id) {
    const auto found = m_timers.find(id);
    if (found == m_timers.end()) return;
    found->second->stop();
    found->second->deleteLater();
    m_timers.erase(found);
}

bool Dialog::HasTimer(int id) const {
    return m_timers.count(id) != 0;
}

void Dialog::StopAllTimers() {
    while (!m_timers.empty()) KillTimer(m_timers.begin()->first);
}

QWidget* Dialog::Item(int id) const {
    for (const ControlEntry& entry : m_controls) {
        if (entry.control->id == id && id != kNoId) return entry.widget;
    }
    return nullptr;
}

QWidget* Dialog::ControlAt(std::size_t templateIndex) const {
    return templateIndex < m_controls.size() ? m_controls[templateIndex].widget : nullptr;
}

std::string Dialog::GetItemText(int id) const {
    QWidget* widget = Item(id);
    QString text;
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        text = edit->text();
    else if (auto* label = qobject_cast<StaticText*>(widget))
        text = label->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        text = button->text();
    else if (auto* group = qobject_cast<QGroupBox*>(widget))
        text = group->title();
    return text.toLatin1().toStdString();
}

void Dialog::SetItemText(int id, const std::string& text) {
    QWidget* widget = Item(id);
    const QString value = QString::fromLatin1(text.data(), static_cast<int>(text.size()));
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        if (edit->text() != value) edit->setText(value);
    } else if (auto* label = qobject_cast<StaticText*>(widget)) {
        label->setText(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(value);
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(value);
    }
}

std::vector<QWidget*> Dialog::RadioGroup(int id) const {
    std::vector<QWidget*> group;
    bool inGroup = false;
    for (const ControlEntry& entry : m_controls) {
        if (!inGroup && entry.control->id != id) continue;
        if (inGroup && (entry.control->style & kGroup)) break;
        if (entry.control->kind != ControlKind::RadioButton) break;
        inGroup = true;
        group.push_back(entry.widget);
    }
    return group;
}

void Dialog::AppendSystemMenuSeparator() {
    m_systemMenu->addSeparator();
    AppendNativeSystemMenuItem(*this, 0, "");
}

void Dialog::AppendSystemMenuItem(unsigned command, const std::string& text) {
    m_systemMenu->addAction(QString::fromLatin1(text.c_str()), this,
                            [this, command] { SendSystemCommand(command); });
    // The native menu has its own Close.
    if ((command & kSystemCommandMask) == kSystemCommandClose) return;
    AppendNativeSystemMenuItem(*this, command, text);
    m_nativeCommands.push_back(command);
}

void Dialog::SendSystemCommand(unsigned command) {
    Event event{EventKind::SystemCommand};
    event.command = command;
    SendEvent(event);
}

bool Dialog::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    const std::optional<unsigned> command = NativeSystemCommand(message);
    if (!command || std::find(m_nativeCommands.begin(), m_nativeCommands.end(),
                              *command & kSystemCommandMask) == m_nativeCommands.end()) {
        return QDialog::nativeEvent(eventType, message, result);
    }
    SendSystemCommand(*command);
    *result = 0;
    return true;
}

void Dialog::ShowSystemMenu(const QPoint& globalPosition) {
    m_systemMenu->popup(globalPosition);
}

void Dialog::SetIcon(const QIcon& icon, bool large) {
    // Qt keeps one icon set for every size; the large and the small image both live in it.
    if (large || windowIcon().isNull()) setWindowIcon(icon);
}

void Dialog::SendEvent(Event& event) {
    if (!RouteEvent(event)) Default(event);
}

void Dialog::Default(Event& event) {
    switch (event.kind) {
        case EventKind::Command:
            if (event.code != kButtonClicked) break;
            if (event.controlId == kIdOk) OnOK();
            if (event.controlId == kIdCancel) OnCancel();
            break;
        case EventKind::SystemCommand:
            if (SystemCommandOf(event) == kSystemCommandClose) OnCancel();
            break;
        default:
            break;
    }
}

void Dialog::SendCommand(int id, int code) {
    if (code == kEditChanged && m_writingFields > 0) return;
    Event event{EventKind::Command};
    event.controlId = id;
    event.code = code;
    SendEvent(event);
}

void Dialog::SendScroll(int id, int code, int position) {
    Event event{EventKind::VerticalScroll};
    event.code = code;
    event.controlId = id;
    event.position = position;
    SendEvent(event);
}

void Dialog::reject() {
    Event event{EventKind::Command};
    event.controlId = kIdCancel;
    event.code = kButtonClicked;
    SendEvent(event);
}

void Dialog::accept() {
    Event event{EventKind::Command};
    event.controlId = kIdOk;
    event.code = kButtonClicked;
    SendEvent(event);
}

void Dialog::contextMenuEvent(QContextMenuEvent* event) {
    ShowSystemMenu(event->globalPos());
}

void Dialog::ConnectNotifications(const ControlTemplate& control, QWidget* widget) {
    const int id = control.id;
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        connect(button, &QAbstractButton::clicked, this,
                [this, id] { SendCommand(id, kButtonClicked); });
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        connect(edit, &QLineEdit::textChanged, this, [this, id] { SendCommand(id, kEditChanged); });
    } else if (auto* tree = qobject_cast<QTreeWidget*>(widget)) {
        connect(tree, &QTreeWidget::currentItemChanged, this, [this, id] {
            Event event{EventKind::Notify};
            event.code = kTreeSelectionChanged;
            event.controlId = id;
            SendEvent(event);
        });
    } else if (auto* trackBar = qobject_cast<TrackBar*>(widget)) {
        trackBar->onScroll = [this, id, trackBar](int code) {
            SendScroll(id, code, trackBar->sliderPosition());
        };
    } else if (auto* spin = qobject_cast<SpinButton*>(widget)) {
        spin->onScroll = [this, id](int code, int position) { SendScroll(id, code, position); };
    }
}

void Dialog::AttachSpinButtons() {
    // A spin button takes the control just before it as its buddy.
    for (std::size_t i = 1; i < m_controls.size(); ++i) {
        auto* spin = qobject_cast<SpinButton*>(m_controls[i].widget);
        auto* buddy = qobject_cast<QLineEdit*>(m_controls[i - 1].widget);
        if (spin && buddy) AttachToBuddy(spin, buddy);
    }
}

void Dialog::ChainTabOrder() {
    QWidget* previous = nullptr;
    for (const ControlEntry& entry : m_controls) {
        if (!(entry.control->style & kTabStop)) continue;
        if (previous) setTabOrder(previous, entry.widget);
        previous = entry.widget;
    }
}

}  // namespace framework
