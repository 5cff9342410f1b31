// The located nodes: one top-level entry per node name, in the order in which the names first
// answered, each with eleven rows that the latest reply under that name rewrites.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class QTreeWidget;
class QTreeWidgetItem;

#include "discovery/DeviceRows.h"
#include "framework/Bound.h"
#include "net/NodeSocket.h"
#include "protocol/NodeProtocol.h"

namespace discovery {

class DeviceTree {
public:
    // Entry and row texts are single-byte: each byte is one Latin-1 character on screen.
    explicit DeviceTree(framework::Bound<QTreeWidget>& tree) : m_tree(tree) {}

    // 0 for a reply shorter than 33 bytes, which changes nothing; 1 otherwise.
    int HandlePollReply(const std::uint8_t* bytes, std::size_t length,
                        const std::string& senderAddress, std::uint16_t senderPort);

private:
    QTreeWidgetItem* FindEntry(const std::string& name) const;
    QTreeWidgetItem* AppendEntry(const std::string& name);

    framework::Bound<QTreeWidget>& m_tree;
};

// Broadcasts the poll; a failed send is reported by the endpoint.
void SendPoll(net::NodeSocket& socket);

}  // namespace discovery
