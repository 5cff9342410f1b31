#include "app/NodeTestDlg.h"

#include <iterator>

#include "app/AboutDlg.h"
#include "framework/DataExchange.h"
#include "framework/MessageBox.h"
#include "framework/ModalLoop.h"
#include "res/Icons.h"
#include "res/ResourceIds.h"
#include "res/Strings.h"
#include "res/Templates.h"

using framework::Event;
using framework::EventKind;
using framework::kAny;

net::NodeSocketEnvironment DefaultSocketEnvironment() {
    net::NodeSocketEnvironment environment;
    environment.showMessage = framework::MessageBox;
    environment.postQuit = framework::PostQuitRequest;
    environment.receiveBufferBytes = net::kNodePortQueueBytes;
    return environment;
}

net::NodeSocketEnvironment InterfaceSocketEnvironment(const std::string& nameOrAddress,
                                                      const net::Interface& chosen) {
    net::NodeSocketEnvironment environment = DefaultSocketEnvironment();
    environment.lookupHostAddress = net::InterfaceLookup(nameOrAddress);
    environment.device = chosen.name;
    environment.deviceIndex = chosen.index;
    return environment;
}

const framework::Route<CNodeTestDlg> CNodeTestDlg::kRoutes[] = {
    {EventKind::SystemCommand, kAny, kAny, &CNodeTestDlg::OnSysCommand},
    {EventKind::Notify, framework::kTreeSelectionChanged, res::kIdTree,
     &CNodeTestDlg::OnSelChangedTree},
    {EventKind::Command, framework::kButtonClicked, res::kIdPollAgain, &CNodeTestDlg::OnPollAgain},
    {EventKind::Timer, kAny, kAny, &CNodeTestDlg::OnTimer},
    {EventKind::VerticalScroll, kAny, kAny, &CNodeTestDlg::OnVScroll},
    {EventKind::Command, framework::kButtonClicked, res::kIdRaw, &CNodeTestDlg::OnSettingsChanged},
    {EventKind::Command, framework::kButtonClicked, res::kIdRle, &CNodeTestDlg::OnSettingsChanged},
    {EventKind::Command, framework::kButtonClicked, res::kIdChannelValue,
     &CNodeTestDlg::OnSettingsChanged},
    {EventKind::Command, framework::kEditChanged, res::kIdChannelCount,
     &CNodeTestDlg::OnSettingsChanged},
    {EventKind::Command, framework::kEditChanged, res::kIdUniverse,
     &CNodeTestDlg::OnSettingsChanged},
    {EventKind::Command, framework::kEditChanged, res::kIdStartCode,
     &CNodeTestDlg::OnSettingsChanged},
};

namespace {

std::optional<network::Follower> FollowerFor(std::optional<NetworkSetup>& setup) {
    if (!setup) return std::nullopt;
    return network::Follower(std::move(setup->request), std::move(setup->seams));
}

// The endpoint opens where the follower decided, tied as --interface ties it.
net::NodeSocketEnvironment On(net::NodeSocketEnvironment environment,
                              const std::optional<network::Follower>& follower) {
    if (!follower) return environment;
    const network::InUse& inUse = follower->Current();
    environment.device = inUse.tiedTo ? inUse.tiedTo->name : std::string();
    environment.deviceIndex = inUse.tiedTo ? inUse.tiedTo->index : 0;
    environment.lookupHostAddress = [address = inUse.address] { return address; };
    return environment;
}

}  // namespace

CNodeTestDlg::CNodeTestDlg(net::NodeSocketEnvironment environment,
                           std::optional<NetworkSetup> network, QWidget* parent)
    : framework::Dialog(res::MainDialogTemplate(), parent),
      m_follower(FollowerFor(network)),
      m_keepChoice(network ? std::move(network->keep) : nullptr),
      m_socket(m_broadcastAddress, On(std::move(environment), m_follower)),
      m_icon(res::LoadIcon(res::kMainIcon)),
      m_deviceTree(m_tree),
      m_levelSender(
          [this](bool saveAndValidate) { return UpdateData(saveAndValidate); }, m_settings,
          {m_levelSlider, m_universeSpin, m_channelCountSpin, m_startCodeSpin}, m_socket) {
    m_socket.SetPollReplyHandler([this](const std::uint8_t* bytes, std::size_t length,
                                        const std::string& sender, std::uint16_t port) {
        return m_deviceTree.HandlePollReply(bytes, length, sender, port);
    });
}

bool CNodeTestDlg::RouteEvent(Event& event) {
    return framework::RouteEvent<CNodeTestDlg>(kRoutes, *this, event);
}

void CNodeTestDlg::DoDataExchange(framework::DataExchange& exchange) {
    exchange.Control(res::kIdStartCodeSpin, m_startCodeSpin);
    exchange.Control(res::kIdUniverseSpin, m_universeSpin);
    exchange.Control(res::kIdChannelCountSpin, m_channelCountSpin);
    exchange.Control(res::kIdSlider, m_levelSlider);
    exchange.Control(res::kIdTree, m_tree);
    exchange.Text(res::kIdChannelCount, m_settings.channelCount);
    exchange.Text(res::kIdLevelText, m_settings.levelText);
    exchange.Radio(res::kIdRaw, m_settings.dataFormat);
    exchange.Text(res::kIdUniverse, m_settings.universe);
    exchange.Text(res::kIdStartCode, m_settings.startCode);
}

bool CNodeTestDlg::OnInitDialog() {
    framework::Dialog::OnInitDialog();
    AddAboutItemAndIcons();
    m_socket.Open();
    m_socket.ComputeBroadcastAddress();
    m_levelSender.InitOutputControls();
    SetTimer(kReceiveTimerId, kReceiveTimerPeriodMs);
    discovery::SendPoll(m_socket);
    return true;
}

void CNodeTestDlg::AddAboutItemAndIcons() {
    const std::string aboutItem = res::LoadString(res::kStringAboutItem);
    if (!aboutItem.empty()) {
        AppendSystemMenuSeparator();
        AppendSystemMenuItem(res::kCommandAbout, aboutItem);
    }
    // The windows a technician opens beside this one, after About.
    AppendSystemMenuItem(res::kCommandNetwork, res::LoadString(res::kStringNetworkItem));
    AppendSystemMenuItem(res::kCommandMonitor, res::LoadString(res::kStringMonitorItem));
    AppendSystemMenuItem(res::kCommandChannelCheck, res::LoadString(res::kStringChannelCheckItem));
    SetIcon(m_icon, true);
    SetIcon(m_icon, false);
}

void CNodeTestDlg::OnOK() {
    if (!UpdateData(true)) return;  // the field was reported; the tick keeps running
    KillTimer(kReceiveTimerId);
    EndDialog(framework::kIdOk);
}

void CNodeTestDlg::OnCancel() {
    KillTimer(kReceiveTimerId);
    EndDialog(framework::kIdCancel);
}

void CNodeTestDlg::OnSysCommand(Event& event) {
    if (framework::SystemCommandOf(event) == res::kCommandAbout) {
        CAboutDlg about(m_icon, this);
        about.DoModal();
        return;
    }
    if (framework::SystemCommandOf(event) == res::kCommandMonitor) {
        OpenMonitor();
        return;
    }
    if (framework::SystemCommandOf(event) == res::kCommandNetwork) {
        OpenNetwork();
        return;
    }
    if (framework::SystemCommandOf(event) == res::kCommandChannelCheck) {
        if (!m_channelCheck) m_channelCheck = std::make_unique<ChannelCheckWindow>(m_socket, this);
        Present(*m_channelCheck);
        return;
    }
    Default(event);
}

// One window however often it is chosen; a child of this one, so that the modal run that
// this window is in leaves it free to take input.
void CNodeTestDlg::OpenMonitor() {
    if (!m_monitorWindow) {
        m_monitorWindow = std::make_unique<DmxMonitorWindow>(
            [this](net::DmxTap tap) { m_socket.SetDmxTap(std::move(tap)); }, this);
        m_monitorWindow->setWindowIcon(m_icon);
    }
    Present(*m_monitorWindow);
}

void CNodeTestDlg::OpenNetwork() {
    if (!m_networkWindow) {
        NetworkWindowSource source;
        source.status = [this] { return CurrentNetwork(); };
        source.choose = [this](const std::optional<std::string>& name) { ChooseNetwork(name); };
        m_networkWindow = std::make_unique<NetworkWindow>(std::move(source), this);
        m_networkWindow->setWindowIcon(m_icon);
    }
    Present(*m_networkWindow);
}

NetworkStatus CNodeTestDlg::CurrentNetwork() const {
    NetworkStatus status;
    if (m_follower) {
        status.interfaces = m_follower->Interfaces();
        status.inUse = m_follower->Current();
    } else {
        status.interfaces = net::ListInterfaces();
        status.inUse.address = net::ParseAddress(m_broadcastAddress);
    }
    status.broadcastAddress = m_broadcastAddress;
    status.port = m_socket.Port();
    status.openFailure = m_socket.IsOpen() ? "" : m_socket.OpenFailure();
    if (!m_socket.IsOpen() && status.openFailure.empty()) status.openFailure = "not open";
    status.traffic = m_socket.HeardTraffic();
    status.nodesListed = m_tree->topLevelItemCount();
    return status;
}

void CNodeTestDlg::FollowNetwork() {
    if (!m_follower || !m_follower->DueToLook(network::Follower::Clock::now())) return;
    const network::InUse before = m_follower->Current();
    if (const std::optional<network::InUse> after =
            m_follower->Look(network::Follower::Clock::now())) {
        UseNetwork(before, *after, false);
    }
}

// A new a.b.c.255 is another network: what the tree lists and what waits for a tick came from
// the old one, and would only mislead; the poll that follows fills the tree again.
void CNodeTestDlg::UseNetwork(const network::InUse& before, const network::InUse& after,
                              bool chosen) {
    if (network::NeedsNewTie(before, after)) {
        m_socket.Retie(after.tiedTo ? after.tiedTo->name : std::string(),
                       after.tiedTo ? after.tiedTo->index : 0);
    }
    if (m_socket.UseHostAddress(after.address)) {
        m_socket.ForgetWaiting();
        m_tree->clear();
    }
    if (after.address && (chosen || network::SendsElsewhere(before, after))) {
        discovery::SendPoll(m_socket);
    }
    if (m_networkWindow) m_networkWindow->Refresh();
}

void CNodeTestDlg::ChooseNetwork(const std::optional<std::string>& interfaceName) {
    if (!m_follower || m_follower->Requested().commandLine) return;
    const network::InUse before = m_follower->Current();
    const network::InUse after = m_follower->Choose(interfaceName);
    if (m_keepChoice) m_keepChoice(interfaceName);
    UseNetwork(before, after, true);
}

void CNodeTestDlg::Present(QWidget& window) {
    window.show();
    window.raise();
    window.activateWindow();
}

// Consumed, so that choosing a node changes nothing else in the window.
void CNodeTestDlg::OnSelChangedTree(Event&) {}

void CNodeTestDlg::OnPollAgain(Event&) {
    discovery::SendPoll(m_socket);
}

void CNodeTestDlg::OnTimer(Event& event) {
    m_socket.ReceiveTick();
    FollowNetwork();
    Default(event);
}

void CNodeTestDlg::OnVScroll(Event& event) {
    m_levelSender.SendLevel();
    Default(event);
}

void CNodeTestDlg::OnSettingsChanged(Event&) {
    m_levelSender.ValidateSettings();
}
