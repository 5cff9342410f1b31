#include "testing/LabNode.h"

#include <stdexcept>

#include "protocol/NodeProtocol.h"
#include "testing/PeerSocket.h"

namespace lab {

std::unique_ptr<Process> StartNode(const std::string& binary, const std::string& ns,
                                   const std::vector<std::string>& args,
                                   std::chrono::milliseconds timeout) {
    std::vector<std::string> argv{binary};
    argv.insert(argv.end(), args.begin(), args.end());
    auto node = std::make_unique<Process>(ns.empty() ? argv : NamespaceCommand(ns, argv));
    if (!node->WaitForLineStartingWith("ready ", timeout)) {
        throw std::runtime_error("node not ready" + (ns.empty() ? "" : " in " + ns) + ": " +
                                 node->Errors());
    }
    return node;
}

TwoNetworkLab::TwoNetworkLab(const std::string& nodeBinary,
                             const std::vector<std::string>& firstArgs,
                             const std::vector<std::string>& secondArgs)
    : Lab(24, kDebianHostNameAddress) {
    AddSecondNetwork();
    m_first = StartNode(nodeBinary, AddHost("10.1.2.21", -1, 0), firstArgs);
    m_second = StartNode(nodeBinary, AddHost("10.7.0.21", -1, 1), secondArgs);
}

std::vector<std::string> TwoNetworkLab::HeardBeforeMarker(Process& node,
                                                          const std::string& address) {
    InNamespace(ToolNamespace(), [&] {
        testing_support::PeerSocket sender("0.0.0.0", 4000, true);
        if (!sender.SendTo(address, protocol::kNodePort, {'M', 'A', 'R', 'K'})) {
            throw std::runtime_error("cannot send the marker to " + address);
        }
    });
    node.WaitForLineStartingWith("ignored ", std::chrono::seconds(5));
    std::vector<std::string> lines = node.OutputLines();
    if (!lines.empty()) lines.erase(lines.begin());  // ready
    return lines;
}

}  // namespace lab
