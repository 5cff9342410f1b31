// Poll replies merged into the tree of located nodes, on a real tree widget.
#include <gtest/gtest.h>

#include <QTreeWidget>

#include "discovery/DeviceTree.h"
#include "protocol/NodeProtocol.h"

using discovery::DeviceTree;
using protocol::PollReplyMessage;

namespace {

PollReplyMessage Reply(const std::string& name) {
    PollReplyMessage reply;
    reply.mac = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0xfe};
    reply.nodeType = {0x0a, 0x01};
    reply.version = 0x1f;
    reply.switches = 0x80;
    reply.name = name;
    reply.options = 0x07;
    reply.typeOfService = 0x10;
    reply.ttl = 0x40;
    reply.listenTo = 0;
    reply.listenAddress = {10, 1, 2, 255};
    reply.universe = 3;
    return reply;
}

class DeviceTreeTest : public ::testing::Test {
protected:
    DeviceTreeTest() { control.Attach(&widget); }

    int Handle(const PollReplyMessage& reply, const std::string& sender = "10.1.2.20") {
        const auto bytes = protocol::WritePollReply(reply);
        return tree.HandlePollReply(bytes.data(), bytes.size(), sender, 3333);
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (int i = 0; i < widget.topLevelItemCount(); ++i) {
            names.push_back(widget.topLevelItem(i)->text(0).toLatin1().toStdString());
        }
        return names;
    }
    std::vector<std::string> Rows(int entry) const {
        std::vector<std::string> rows;
        const QTreeWidgetItem* item = widget.topLevelItem(entry);
        for (int i = 0; i < item->childCount(); ++i) {
            rows.push_back(item->child(i)->text(0).toStdString());
        }
        return rows;
    }

    QTreeWidget widget;
    framework::Bound<QTreeWidget> control;
    DeviceTree tree{control};
};

}  // namespace

TEST_F(DeviceTreeTest, ANewNameBecomesAnExpandedEntryWithElevenRows) {
    EXPECT_EQ(Handle(Reply("Dimmer")), 1);
    ASSERT_EQ(Names(), std::vector<std::string>{"Dimmer"});
    EXPECT_TRUE(widget.topLevelItem(0)->isExpanded());
    EXPECT_EQ(Rows(0), (std::vector<std::string>{
                           "IP Address: 10.1.2.20",
                           "MAC Address: 00 1A 2B 3C 4D FE",
                           "Node Type: 0A01",
                           "Version: 1F",
                           "Switch Settings: 80",
                           "Options: Node is configured, Enable DHCP, Enable Error Correction",
                           "Type of Service: 10",
                           "Packet TTL: 40",
                           "Listen to: Broadcast",
                           "Listen IP Address: 10.1.2.255",
                           "DMX Universe: 4 (1537-2048)",
                       }));
}

TEST_F(DeviceTreeTest, EdgeRowsFollowTheirFormats) {
    PollReplyMessage reply = Reply("Edge");
    const auto rowsFor = [&](auto change, std::size_t row) {
        PollReplyMessage changed = reply;
        change(changed);
        return discovery::FormatRows(changed, "1.2.3.4")[row].Text();
    };
    EXPECT_EQ(rowsFor([](auto& r) { r.options = 0x00; }, 5), "Options: ");
    EXPECT_EQ(rowsFor([](auto& r) { r.options = 0x03; }, 5),
              "Options: Node is configured, Enable DHCP, ");
    EXPECT_EQ(rowsFor([](auto& r) { r.options = 0xF8; }, 5), "Options: ");
    EXPECT_EQ(rowsFor([](auto& r) { r.universe = 0; }, 10), "DMX Universe: 1 (1-512)");
    EXPECT_EQ(rowsFor([](auto& r) { r.universe = 1; }, 10), "DMX Universe: 2 (513-1024)");
    EXPECT_EQ(rowsFor([](auto& r) { r.universe = 255; }, 10), "DMX Universe: 256 (130561-131072)");
    EXPECT_EQ(rowsFor([](auto& r) { r.listenTo = 1; }, 8), "Listen to: Class C Broadcast");
    EXPECT_EQ(rowsFor([](auto& r) { r.listenTo = 0xFF; }, 8), "Listen to: Class C Broadcast");
    EXPECT_EQ(rowsFor(
                  [](auto& r) {
                      r.listenAddress = {255, 0, 9, 1};
                  },
                  9),
              "Listen IP Address: 255.0.9.1");
}

TEST_F(DeviceTreeTest, RepliesRefreshTheirEntryByNameAndNeverRemoveOne) {
    Handle(Reply("Alpha"), "10.1.2.20");
    Handle(Reply("Beta"), "10.1.2.21");
    PollReplyMessage later = Reply("Alpha");
    later.version = 0x02;
    Handle(later, "10.1.2.22");  // another node with the same name
    EXPECT_EQ(Names(), (std::vector<std::string>{"Alpha", "Beta"}));
    EXPECT_EQ(Rows(0)[0], "IP Address: 10.1.2.22");
    EXPECT_EQ(Rows(0)[3], "Version: 02");
    EXPECT_EQ(Rows(0).size(), 11u);

    Handle(Reply("Gamma"), "10.1.2.20");  // Alpha's node renamed
    EXPECT_EQ(Names(), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(Rows(0)[0], "IP Address: 10.1.2.22");
}

TEST_F(DeviceTreeTest, NamesMatchByteForByte) {
    Handle(Reply("node"));
    Handle(Reply("Node"));
    Handle(Reply("N\xe9od"));
    Handle(Reply("N\xe8od"));
    Handle(Reply("N\xe9od"));
    EXPECT_EQ(Names(), (std::vector<std::string>{"node", "Node", "N\xe9od", "N\xe8od"}));
    EXPECT_EQ(widget.topLevelItem(2)->text(0), QString::fromUtf8("N\u00e9od"));
}

TEST_F(DeviceTreeTest, TheNameEndsAtItsFirstZeroOrAfterTenBytes) {
    auto bytes = protocol::WritePollReply(Reply("ABCDEFGHIJ"));
    bytes[24] = 'Z';  // options right after a full name field
    tree.HandlePollReply(bytes.data(), bytes.size(), "10.1.2.9", 3333);
    bytes = protocol::WritePollReply(Reply(""));
    tree.HandlePollReply(bytes.data(), bytes.size(), "10.1.2.10", 3333);
    bytes[15] = 'x';  // bytes after a leading zero are not part of the name
    tree.HandlePollReply(bytes.data(), bytes.size(), "10.1.2.11", 3333);
    EXPECT_EQ(Names(), (std::vector<std::string>{"ABCDEFGHIJ", ""}));
    EXPECT_EQ(Rows(1)[0], "IP Address: 10.1.2.11");
}

TEST_F(DeviceTreeTest, AShortReplyChangesNothing) {
    Handle(Reply("Keep"));
    widget.topLevelItem(0)->setExpanded(false);
    const auto bytes = protocol::WritePollReply(Reply("Other"));
    EXPECT_EQ(tree.HandlePollReply(bytes.data(), 32, "10.1.2.30", 3333), 0);
    EXPECT_EQ(Names(), std::vector<std::string>{"Keep"});
    EXPECT_FALSE(widget.topLevelItem(0)->isExpanded());
}

TEST_F(DeviceTreeTest, ACollapsedEntryOpensAgainAtItsNextReply) {
    Handle(Reply("Fold"));
    widget.topLevelItem(0)->setExpanded(false);
    Handle(Reply("Fold"));
    EXPECT_TRUE(widget.topLevelItem(0)->isExpanded());
}

TEST_F(DeviceTreeTest, RowsAreRewrittenByPositionWhateverTheyShow) {
    Handle(Reply("Pos"));
    widget.topLevelItem(0)->child(4)->setText(0, "scribbled");
    Handle(Reply("Pos"));
    EXPECT_EQ(Rows(0)[4], "Switch Settings: 80");
}
