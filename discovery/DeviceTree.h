// The located nodes: one top-level entry per node name, in the order in which the names first
// answered, each with eleven rows that the latest reply under that name rewrites.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "discovery/DeviceRows.h"
#include "framework/Controls.h"
#include "net/NodeSocket.h"
#include "protocol/NodeProtocol.h"

namespace discovery {

class DeviceTree {
public:
    explicit DeviceTree(framework::TreeCtrl& tree) : m_tree(tree) {}

    // 0 for a reply shorter than 33 bytes, which changes nothing; 1 otherwise.
    int HandlePollReply(const std::uint8_t* bytes, std::size_t length,
                        const std::string& senderAddress, std::uint16_t senderPort);

private:
    using Item = framework::TreeCtrl::Item;
    Item FindEntry(const std::string& name) const;
    Item AppendEntry(const std::string& name);

    framework::TreeCtrl& m_tree;
};

// Broadcasts the poll; a failed send is reported by the endpoint.
void SendPoll(net::NodeSocket& socket);

}  // namespace discovery
