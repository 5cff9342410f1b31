// The main window: the device tree, the level slider and the output settings.
#pragma once

#include <QIcon>
#include <QSlider>
#include <QTreeWidget>
#include <memory>
#include <optional>
#include <string>

#include "app/ChannelCheckWindow.h"
#include "app/DmxMonitorWindow.h"
#include "app/NetworkWindow.h"
#include "discovery/DeviceTree.h"
#include "framework/Bound.h"
#include "framework/Dialog.h"
#include "framework/SpinButton.h"
#include "net/Interfaces.h"
#include "net/NodeSocket.h"
#include "network/NetworkChoice.h"
#include "output/LevelSender.h"
#include "output/OutputSettings.h"

inline constexpr int kReceiveTimerId = 102;
inline constexpr int kReceiveTimerPeriodMs = 100;

// The real world: message boxes, the quit request and the host's own address.
net::NodeSocketEnvironment DefaultSocketEnvironment();
// The same on the interface that --interface named: its address, and its device alone.
net::NodeSocketEnvironment InterfaceSocketEnvironment(const std::string& nameOrAddress,
                                                      const net::Interface& chosen);

// The network to follow: which interface was asked for, and where the user's choice is kept.
// Without it the window keeps the environment's address and tie, as tests on loopback want.
struct NetworkSetup {
    network::Request request;
    network::Seams seams;
    std::function<void(const std::optional<std::string>&)> keep;
};

class CNodeTestDlg : public framework::Dialog {
    Q_OBJECT
public:
    explicit CNodeTestDlg(net::NodeSocketEnvironment environment = DefaultSocketEnvironment(),
                          std::optional<NetworkSetup> network = std::nullopt,
                          QWidget* parent = nullptr);

    const std::string& BroadcastAddress() const { return m_broadcastAddress; }
    const net::NodeSocket& Socket() const { return m_socket; }
    const output::OutputSettings& Settings() const { return m_settings; }
    const QIcon& Icon() const { return m_icon; }
    // Nothing until the window menu first opened it.
    DmxMonitorWindow* MonitorWindow() const { return m_monitorWindow.get(); }
    // Once opened from the window menu; nothing before.
    ChannelCheckWindow* ChannelCheck() const { return m_channelCheck.get(); }
    // Once opened from the window menu; nothing before.
    NetworkWindow* Network() const { return m_networkWindow.get(); }
    // Nothing when the window was given no network to follow.
    const network::Follower* Follower() const { return m_follower ? &*m_follower : nullptr; }
    NetworkStatus CurrentNetwork() const;

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
    void OpenNetwork();
    // Looks at the interfaces on the tick; see network::Follower.
    void FollowNetwork();
    void UseNetwork(const network::InUse& before, const network::InUse& after, bool chosen);
    void ChooseNetwork(const std::optional<std::string>& interfaceName);
    // Shows a modeless window, or brings the open one to the front.
    static void Present(QWidget& window);

    static const framework::Route<CNodeTestDlg> kRoutes[];

    std::string m_broadcastAddress;
    // Before the socket, which opens on what it decided.
    std::optional<network::Follower> m_follower;
    std::function<void(const std::optional<std::string>&)> m_keepChoice;
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
    std::unique_ptr<NetworkWindow> m_networkWindow;
    // Last, so that it is gone, its channels set to 0, while the socket is still open.
    std::unique_ptr<ChannelCheckWindow> m_channelCheck;
};
