#include "app/NetworkWindow.h"

#include <QDateTime>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "tools/NoAnswerDiagnosis.h"

namespace {

enum Column { kName, kDescription, kAddress, kSendsTo, kUp, kBroadcast, kInUse, kColumns };

const char* const kHeaders[kColumns] = {"Interface", "Description",   "Address", "Sends To",
                                        "Up",        "Can Broadcast", "In Use"};
const char* const kFindings[] = {"Endpoint",
                                 "Poll sent",
                                 "Its own poll came back",
                                 "Other programs on the port",
                                 "Also heard since the poll",
                                 "Last reply",
                                 "Usual causes"};
constexpr int kFindingCount = static_cast<int>(std::size(kFindings));

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

std::string YesNo(bool value) {
    return value ? "yes" : "no";
}

std::string AddressText(const net::Interface& each) {
    if (!each.address) return "none";
    return net::FormatAddress(*each.address) + "/" + std::to_string(each.prefixLength);
}

bool IsInUse(const net::Interface& each, const network::InUse& inUse) {
    if (inUse.tiedTo) return each.name == inUse.tiedTo->name;
    return inUse.address && each.address == inUse.address;
}

bool Usable(const net::Interface& each) {
    return each.up && each.address.has_value();
}

std::string ClockTime(std::chrono::system_clock::time_point when) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss")).toStdString();
}

std::string Capitalized(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 32);
    return text;
}

const net::Interface* Holding(const NetworkStatus& status) {
    for (const net::Interface& each : status.interfaces) {
        if (IsInUse(each, status.inUse)) return &each;
    }
    return nullptr;
}

std::string InUseLine(const NetworkStatus& status) {
    const network::InUse& inUse = status.inUse;
    const net::Interface* holder = Holding(status);
    std::string where = holder ? holder->name : inUse.Tied() ? inUse.wanted : "no interface";
    if (inUse.address) {
        where += ", " + net::FormatAddress(*inUse.address);
        if (holder && holder->prefixLength > 0) {
            where.append("/").append(std::to_string(holder->prefixLength));
        }
        where += ", sending to " + status.broadcastAddress + ":" + std::to_string(status.port);
    } else if (inUse.Tied()) {
        where += ", not usable now: sends fail until it is back";
    }
    return "In use: " + where + " (" + network::ReasonText(inUse) + ")";
}

}  // namespace

NetworkWindow::NetworkWindow(NetworkWindowSource source, QWidget* parent)
    : QDialog(parent), m_source(std::move(source)) {
    setWindowTitle(QStringLiteral("Network"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* layout = new QVBoxLayout(this);

    m_inUse = new QLabel(this);
    m_inUse->setWordWrap(true);
    m_inUse->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_inUse);
    m_problem = new QLabel(this);
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: #b00000"));
    layout->addWidget(m_problem);

    m_table = new QTableWidget(0, kColumns, this);
    m_table->setAccessibleName(QStringLiteral("Interfaces"));
    for (int column = 0; column < kColumns; ++column) {
        m_table->setHorizontalHeaderItem(column, new QTableWidgetItem(kHeaders[column]));
    }
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table, 1);

    auto* buttons = new QHBoxLayout;
    m_use = new QPushButton(QStringLiteral("&Use This Interface"), this);
    m_default = new QPushButton(QStringLiteral("Use the &Default"), this);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    buttons->addWidget(m_use);
    buttons->addWidget(m_default);
    buttons->addStretch(1);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    auto* findings = new QGroupBox(QStringLiteral("Why No Node May Answer"), this);
    auto* form = new QFormLayout(findings);
    for (const char* label : kFindings) {
        auto* name = new QLabel(QString::fromLatin1(label), findings);
        auto* value = new QLabel(findings);
        value->setWordWrap(true);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setAccessibleName(QString::fromLatin1(label));
        form->addRow(name, value);
        m_findingLabels.push_back(name);
        m_findingValues.push_back(value);
    }
    layout->addWidget(findings);

    connect(m_use, &QPushButton::clicked, this, [this] { UseRow(m_table->currentRow()); });
    connect(m_default, &QPushButton::clicked, this, [this] { UseDefault(); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { UseRow(row); });
    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, [this] { Refresh(); });
    resize(720, 480);
    Refresh();
}

void NetworkWindow::showEvent(QShowEvent* event) {
    Refresh();
    m_refresh.start();
    QDialog::showEvent(event);
}

// Closed, it costs nothing: port owners are looked up only while someone reads them.
void NetworkWindow::hideEvent(QHideEvent* event) {
    m_refresh.stop();
    QDialog::hideEvent(event);
}

void NetworkWindow::Refresh() {
    const NetworkStatus status = m_source.status();
    m_reason = status.inUse.reason;
    m_keptAbsent = !status.inUse.Tied() && !status.inUse.problem.empty();
    m_inUse->setText(Text(InUseLine(status)));
    m_problem->setText(Text(status.inUse.problem));
    m_problem->setVisible(!status.inUse.problem.empty());
    ShowInterfaces(status);
    ShowFindings(status);
    UpdateButtons();
}

void NetworkWindow::ShowInterfaces(const NetworkStatus& status) {
    const QString selected =
        m_table->currentRow() >= 0 && m_table->item(m_table->currentRow(), kName)
            ? m_table->item(m_table->currentRow(), kName)->text()
            : QString();
    m_table->setRowCount(0);
    bool described = false;
    for (const net::Interface& each : status.interfaces) {
        if (each.loopback && !IsInUse(each, status.inUse)) continue;
        const bool inUse = IsInUse(each, status.inUse);
        const std::string cells[kColumns] = {
            each.name,
            // Wine gives the name again; that says nothing.
            each.description == each.name ? std::string() : each.description, AddressText(each),
            each.address ? net::ClassCBroadcast(*each.address) : "", YesNo(each.up),
            YesNo(each.canBroadcast), inUse ? "in use" : ""};
        described = described || !cells[kDescription].empty();
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        for (int column = 0; column < kColumns; ++column) {
            auto* item = new QTableWidgetItem(Text(cells[column]));
            QFont font = item->font();
            font.setBold(inUse);
            item->setFont(font);
            m_table->setItem(row, column, item);
        }
        m_table->item(row, kName)->setData(Qt::UserRole, Usable(each));
        // Until the user picks a row, the one in use is the one the keyboard starts from.
        if (selected.isEmpty() ? inUse : Text(each.name) == selected) {
            m_table->setCurrentCell(row, kName);
        }
    }
    // The last column keeps stretching to the table's edge, as the monitor's does.
    m_table->setColumnHidden(kDescription, !described);
    for (int column = 0; column < kColumns - 1; ++column) m_table->resizeColumnToContents(column);
}

void NetworkWindow::ShowFindings(const NetworkStatus& status) {
    const network::InUse& inUse = status.inUse;
    const net::Interface* holder = Holding(status);
    clitool::NoAnswer facts;
    if (holder) {
        facts.interfaceName = holder->name;
        facts.prefixLength = holder->prefixLength;
    }
    facts.address = inUse.address.value_or(net::Ipv4{});
    facts.destination = status.broadcastAddress;
    facts.port = status.port;
    facts.ownPollCameBack = status.traffic.ownPollCameBack;
    facts.heard = status.traffic.heardSincePoll;
    // Replies have their own line; the rest is what else is on the wire.
    facts.heard[static_cast<std::size_t>(protocol::DatagramKind::PollReply)] = 0;
    facts.owners = m_source.portOwners(status.port);
    facts.interfacesHint = "see the list above";

    std::vector<std::string> values;
    const std::string port = std::to_string(status.port);
    if (!status.openFailure.empty()) {
        values.push_back(status.openFailure);
    } else {
        values.push_back("bound to UDP port " + port +
                         (inUse.tiedTo ? ", tied to " + inUse.tiedTo->name
                                       : std::string(", on every interface")));
    }
    values.push_back(status.traffic.pollSent ? ClockTime(*status.traffic.pollSent) + " " +
                                                   clitool::PollSentFrom(facts) + " to " +
                                                   status.broadcastAddress + ":" + port
                                             : "none yet");
    const std::vector<clitool::Finding> findings = clitool::Findings(facts);
    for (const clitool::Finding& each : findings) {
        if (each.label == "usual causes") continue;
        values.push_back(each.value);
    }
    std::string lastReply = status.traffic.lastReply ? ClockTime(*status.traffic.lastReply) +
                                                           " from " + status.traffic.lastReplyFrom
                                                     : "none yet";
    lastReply.append("; ")
        .append(std::to_string(status.nodesListed))
        .append(status.nodesListed == 1 ? " node listed" : " nodes listed");
    values.push_back(lastReply);
    values.push_back(findings.back().value);

    m_findingLabels[3]->setText(Text(Capitalized(findings[1].label)));
    for (int i = 0; i < kFindingCount && i < static_cast<int>(values.size()); ++i) {
        m_findingValues[static_cast<std::size_t>(i)]->setText(
            Text(values[static_cast<std::size_t>(i)]));
    }
}

void NetworkWindow::UpdateButtons() {
    const bool commandLine = m_reason == network::Reason::CommandLine;
    const int row = m_table->currentRow();
    const bool usable = row >= 0 && m_table->item(row, kName) &&
                        m_table->item(row, kName)->data(Qt::UserRole).toBool();
    m_use->setEnabled(!commandLine && usable);
    // Also while a kept choice is absent and the default stands in: the user may forget it.
    m_default->setEnabled(!commandLine &&
                          (m_reason == network::Reason::UserChoice || m_keptAbsent));
    const QString why =
        commandLine ? QStringLiteral("--interface on the command line decides") : QString();
    m_use->setToolTip(why);
    m_default->setToolTip(why);
}

void NetworkWindow::UseRow(int row) {
    if (row < 0 || row >= m_table->rowCount()) return;
    m_table->setCurrentCell(row, kName);
    if (!m_use->isEnabled()) return;
    m_source.choose(m_table->item(row, kName)->text().toStdString());
    Refresh();
}

void NetworkWindow::UseDefault() {
    if (!m_default->isEnabled()) return;
    m_source.choose(std::nullopt);
    Refresh();
}

std::vector<std::vector<std::string>> NetworkWindow::InterfaceRows() const {
    std::vector<std::vector<std::string>> rows;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        std::vector<std::string> cells;
        for (int column = 0; column < kColumns; ++column) {
            cells.push_back(m_table->item(row, column)->text().toStdString());
        }
        rows.push_back(std::move(cells));
    }
    return rows;
}

std::string NetworkWindow::InUseText() const {
    return m_inUse->text().toStdString();
}

std::string NetworkWindow::ProblemText() const {
    return m_problem->isVisibleTo(this) ? m_problem->text().toStdString() : std::string();
}

std::string NetworkWindow::FindingText(const std::string& label) const {
    for (std::size_t i = 0; i < m_findingLabels.size(); ++i) {
        if (m_findingLabels[i]->text().toStdString() == label) {
            return m_findingValues[i]->text().toStdString();
        }
    }
    return {};
}
