#include "testing/LabNode.h"

#include <stdexcept>

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

}  // namespace lab
