// A dialog built from a template, with the model of a classic dialog framework on Qt:
// controls addressed by id, one routing table per window, a two-way field binding, timers by
// id, a window menu, and a modal run that a quit request can end.
#pragma once

#include <QDialog>
#include <QFont>
#include <map>
#include <string>
#include <vector>

#include "framework/DialogTemplate.h"
#include "framework/DialogUnits.h"
#include "framework/ModalLoop.h"
#include "framework/Routing.h"

class QMenu;
class QTimer;

namespace framework {

class DataExchange;

class Dialog : public QDialog {
    Q_OBJECT
public:
    explicit Dialog(const DialogTemplate& dialogTemplate, QWidget* parent = nullptr);
    ~Dialog() override;

    // Creates the window and runs OnInitDialog, then shows it and runs it modally until
    // EndDialog or a quit request. Returns the EndDialog result, or kQuitResult.
    int DoModal();
    // Creates the window and runs OnInitDialog without showing it; DoModal does this first.
    void Create();
    void EndDialog(int result);

    // Reads the fields into the members (true) or writes the members into the fields (false).
    // False when a field held no integer.
    bool UpdateData(bool saveAndValidate = true);

    void SetTimer(int id, int milliseconds);
    void KillTimer(int id);
    bool HasTimer(int id) const;

    QWidget* Item(int id) const;
    // The widget made for the template's control at this position.
    QWidget* ControlAt(std::size_t templateIndex) const;
    std::string GetItemText(int id) const;
    void SetItemText(int id, const std::string& text);
    // The buttons of the radio group that starts at id, in template order.
    std::vector<QWidget*> RadioGroup(int id) const;

    const DialogTemplate& Template() const { return m_template; }
    BaseUnits Units() const { return m_units; }

    // The window menu: on Linux and macOS the window manager owns the real one, so the
    // dialog offers its own on right-click and on Alt+Space.
    QMenu* SystemMenu() const { return m_systemMenu; }
    void AppendSystemMenuSeparator();
    void AppendSystemMenuItem(unsigned command, const std::string& text);
    void ShowSystemMenu(const QPoint& globalPosition);
    // Routes a window-menu choice as the window system would deliver it.
    void SendSystemCommand(unsigned command);

    // Delivers an event through the routing table, or to default handling when no row matches.
    void SendEvent(Event& event);

    // The window's large and small icon.
    void SetIcon(const QIcon& icon, bool large);

protected:
    virtual bool OnInitDialog();
    virtual void DoDataExchange(DataExchange&) {}
    virtual void OnOK();
    virtual void OnCancel();
    virtual bool RouteEvent(Event&) { return false; }
    void Default(Event& event);

    void reject() override;
    void accept() override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct ControlEntry {
        const ControlTemplate* control;
        QWidget* widget;
    };
    void ConnectNotifications(const ControlTemplate& control, QWidget* widget);
    void AttachSpinButtons();
    void ChainTabOrder();
    void SendCommand(int id, int code);
    void SendScroll(int id, int code, int position);
    void StopAllTimers();

    const DialogTemplate& m_template;
    QFont m_font;
    BaseUnits m_units;
    std::vector<ControlEntry> m_controls;
    std::map<int, QTimer*> m_timers;
    QMenu* m_systemMenu;
    // The commands this dialog added to the native window menu; the window system's own go on
    // to its default handling.
    std::vector<unsigned> m_nativeCommands;
    ModalLoop m_modalLoop;
    int m_writingFields = 0;
    bool m_created = false;
};

}  // namespace framework
