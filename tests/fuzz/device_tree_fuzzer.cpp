// Streams of datagrams from the endpoint's dispatcher into a real tree widget: no crash, every
// entry keeps its eleven rows, and no two entries share a name.
#include <QApplication>
#include <QTreeWidget>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "discovery/DeviceTree.h"
#include "net/NodeSocket.h"

namespace {

QTreeWidget* Tree() {
    static int argc = 1;
    static char name[] = "device_tree_fuzzer";
    static char* argv[] = {name, nullptr};
    static QApplication* application = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    (void)application;
    static QTreeWidget tree;
    return &tree;
}

void CheckTree(QTreeWidget* tree) {
    std::set<QString> names;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* entry = tree->topLevelItem(i);
        if (entry->childCount() != static_cast<int>(discovery::kRowCount)) std::abort();
        if (!names.insert(entry->text(0)).second) std::abort();
        if (!entry->isExpanded()) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QTreeWidget* tree = Tree();
    tree->clear();
    framework::Bound<QTreeWidget> control;
    control.Attach(tree);
    discovery::DeviceTree devices(control);
    std::string broadcast;
    net::NodeSocketEnvironment environment;
    environment.lookupHostAddress = nullptr;
    net::NodeSocket socket(broadcast, std::move(environment));
    socket.SetPollReplyHandler(
        [&](const std::uint8_t* bytes, std::size_t length, const std::string& sender,
            std::uint16_t port) { return devices.HandlePollReply(bytes, length, sender, port); });
    // Each datagram is a length byte and then that many bytes.
    std::size_t offset = 0;
    int datagrams = 0;
    while (offset < size) {
        const std::size_t length = std::min<std::size_t>(data[offset], size - offset - 1);
        ++offset;
        const std::string sender = "10.1.2." + std::to_string(datagrams % 256);
        socket.DispatchDatagram(data + offset, length, sender, 3333);
        offset += length;
        ++datagrams;
    }
    if (tree->topLevelItemCount() > datagrams) std::abort();
    CheckTree(tree);
    return 0;
}
