#include "discovery/DeviceTree.h"

#include <QTreeWidget>
#include <span>

namespace discovery {
namespace {

QString Latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

int DeviceTree::HandlePollReply(const std::uint8_t* bytes, std::size_t length,
                                const std::string& senderAddress, std::uint16_t) {
    const auto reply = protocol::ReadPollReply(std::span(bytes, length));
    if (!reply) return 0;
    QTreeWidgetItem* entry = FindEntry(reply->name);
    if (!entry) entry = AppendEntry(reply->name);
    // Rows are addressed by position; what they show now does not matter.
    int row = 0;
    for (const Row& each : FormatRows(*reply, senderAddress)) {
        if (row == entry->childCount()) break;
        entry->child(row++)->setText(0, Latin1(each.Text()));
    }
    entry->setExpanded(true);
    return 1;
}

QTreeWidgetItem* DeviceTree::FindEntry(const std::string& name) const {
    const QString text = Latin1(name);
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        if (m_tree->topLevelItem(i)->text(0) == text) return m_tree->topLevelItem(i);
    }
    return nullptr;
}

QTreeWidgetItem* DeviceTree::AppendEntry(const std::string& name) {
    auto* entry = new QTreeWidgetItem(QStringList{Latin1(name)});
    m_tree->addTopLevelItem(entry);
    for (const std::string& label : RowLabels())
        new QTreeWidgetItem(entry, QStringList{Latin1(PlaceholderText(label))});
    return entry;
}

void SendPoll(net::NodeSocket& socket) {
    socket.SendDatagram(protocol::kPollMessage.data(), protocol::kPollMessage.size());
}

}  // namespace discovery
