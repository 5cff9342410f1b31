// The network the window uses: every IPv4 interface, the one in use and why, a choice that is
// kept for the next start, and, live, why no node may be answering.
#pragma once

#include <QDialog>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "net/Interfaces.h"
#include "net/NodeSocket.h"
#include "net/PortOwners.h"
#include "network/NetworkChoice.h"

class QLabel;
class QPushButton;
class QTableWidget;

// What the main window knows, read afresh on every refresh.
struct NetworkStatus {
    std::vector<net::Interface> interfaces;
    network::InUse inUse;
    std::string broadcastAddress;  // a.b.c.255, empty when none
    std::uint16_t port = 0;
    std::string openFailure;  // empty while the endpoint is bound
    net::Traffic traffic;
    int nodesListed = 0;
};

struct NetworkWindowSource {
    std::function<NetworkStatus()> status;
    // An interface name, or nothing for the default; the main window follows it at once.
    std::function<void(const std::optional<std::string>&)> choose;
    std::function<net::PortOwners(std::uint16_t port)> portOwners = net::FindUdpPortOwners;
};

class NetworkWindow : public QDialog {
    Q_OBJECT
public:
    // How often the window reads the status while it is open, port owners included.
    static constexpr int kRefreshMs = 1000;

    explicit NetworkWindow(NetworkWindowSource source, QWidget* parent = nullptr);

    // Reads the status and shows it; the main window calls it when the network changed.
    void Refresh();

    // For tests and pictures: the table's cells, row by row, and a finding's text by its label.
    std::vector<std::vector<std::string>> InterfaceRows() const;
    std::string InUseText() const;
    std::string ProblemText() const;
    std::string FindingText(const std::string& label) const;
    // Chooses the interface in the table's row, as the user's click on Use This Interface does.
    void UseRow(int row);
    void UseDefault();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void ShowInterfaces(const NetworkStatus& status);
    void ShowFindings(const NetworkStatus& status);
    void UpdateButtons();

    NetworkWindowSource m_source;
    network::Reason m_reason = network::Reason::HostName;
    bool m_keptAbsent = false;
    QLabel* m_inUse = nullptr;
    QLabel* m_problem = nullptr;
    QTableWidget* m_table = nullptr;
    QPushButton* m_use = nullptr;
    QPushButton* m_default = nullptr;
    std::vector<QLabel*> m_findingLabels;
    std::vector<QLabel*> m_findingValues;
    QTimer m_refresh;
};
