#include "discovery/DeviceTree.h"

#include <span>

namespace discovery {

int DeviceTree::HandlePollReply(const std::uint8_t* bytes, std::size_t length,
                                const std::string& senderAddress, std::uint16_t) {
    const auto reply = protocol::ReadPollReply(std::span(bytes, length));
    if (!reply) return 0;
    Item entry = FindEntry(reply->name);
    if (!entry) entry = AppendEntry(reply->name);
    // Rows are addressed by position; what they show now does not matter.
    Item row = m_tree.GetChildItem(entry);
    for (const std::string& text : FormatRows(*reply, senderAddress)) {
        if (!row) break;
        m_tree.SetItemText(row, text);
        row = m_tree.GetNextSiblingItem(row);
    }
    m_tree.Expand(entry);
    return 1;
}

DeviceTree::Item DeviceTree::FindEntry(const std::string& name) const {
    for (Item item = m_tree.GetRootItem(); item; item = m_tree.GetNextSiblingItem(item)) {
        if (m_tree.GetItemText(item) == name) return item;
    }
    return nullptr;
}

DeviceTree::Item DeviceTree::AppendEntry(const std::string& name) {
    Item entry = m_tree.InsertItem(name);
    for (const std::string& label : RowLabels()) m_tree.InsertItem(label, entry);
    return entry;
}

void SendPoll(net::NodeSocket& socket) {
    socket.SendDatagram(protocol::kPollMessage.data(), protocol::kPollMessage.size());
}

}  // namespace discovery
