// The main window: the device tree, the level slider and the output settings.
#pragma once

#include <QIcon>
#include <QSlider>
#include <QTreeWidget>
#include <memory>
#include <string>

#include "app/ChannelCheckWindow.h"
#include "app/DmxMonitorWindow.h"
#include "discovery/DeviceTree.h"
#include "framework/Bound.h"
#include "framework/Dialog.h"
#include "framework/SpinButton.h"
#include "net/Interfaces.h"
#include "net/NodeSocket.h"
#include "output/LevelSender.h"
#include "output/OutputSettings.h"

inline constexpr int kReceiveTimerId = 102;
inline constexpr int kReceiveTimerPeriodMs = 100;

// The real world: message boxes, the quit request and the host's own address.
net::NodeSocketEnvironment DefaultSocketEnvironment();
// The same on the interface that --interface named: its address, and its device alone.
net::NodeSocketEnvironment InterfaceSocketEnvironment(const std::string& nameOrAddress,
                                                      const net::Interface& chosen);

class CNodeTestDlg : public framework::Dialog {
    Q_OBJECT
public:
    explicit CNodeTestDlg(net::NodeSocketEnvironment environment = DefaultSocketEnvironment(),
                          QWidget* parent = nullptr);

    const std::string& BroadcastAddress() const { return m_broadcastAddress; }
    const net::NodeSocket& Socket() const { return m_socket; }
    const output::OutputSettings& Settings() const { return m_settings; }
    const QIcon& Icon() const { return m_icon; }
    // Nothing until the window menu first opened it.
    DmxMonitorWindow* MonitorWindow() const { return m_monitorWindow.get(); }
    // Once opened from the window menu; nothing before.
    ChannelCheckWindow* ChannelCheck() const { return m_channelCheck.get(); }

protected:
    bool OnInitDialog() override;
    void DoDataExchange(framework::DataExchange& exchange) override;
    void OnOK() override;
    void OnCancel() override;
    bool RouteEvent(framework::Event& event) override;

private:
    void OnSysCommand(framework::Event& event);
    void OnSelChangedTree(framework::Event& event);
    void OnPollAgain(framework::Event& event);
    void OnTimer(framework::Event& event);
    void OnVScroll(framework::Event& event);
    void OnSettingsChanged(framework::Event& event);
    void AddAboutItemAndIcons();
    void OpenMonitor();
    // Shows a modeless window, or brings the open one to the front.
    static void Present(QWidget& window);

    static const framework::Route<CNodeTestDlg> kRoutes[];

    std::string m_broadcastAddress;
    net::NodeSocket m_socket;
    framework::Bound<framework::SpinButton> m_startCodeSpin;
    framework::Bound<framework::SpinButton> m_universeSpin;
    framework::Bound<framework::SpinButton> m_channelCountSpin;
    framework::Bound<QSlider> m_levelSlider;
    framework::Bound<QTreeWidget> m_tree;
    output::OutputSettings m_settings;
    QIcon m_icon;

    discovery::DeviceTree m_deviceTree;
    output::LevelSender m_levelSender;
    // After the socket, so that it goes first and takes its tap back from a socket still there.
    std::unique_ptr<DmxMonitorWindow> m_monitorWindow;
    // Last, so that it is gone, its channels set to 0, while the socket is still open.
    std::unique_ptr<ChannelCheckWindow> m_channelCheck;
};
