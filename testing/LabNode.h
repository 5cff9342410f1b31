// praveltest-node as tests and measurements start it: in a lab namespace, waited for until its
// socket is bound; and the two-network host that several of them share.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "testing/Lab.h"
#include "testing/Process.h"

namespace lab {

// binary (praveltest-node) with args in the namespace ns, or here when ns is empty, once it
// has printed its ready line. Throws std::runtime_error with its error output when it has not
// within timeout.
std::unique_ptr<Process> StartNode(const std::string& binary, const std::string& ns,
                                   const std::vector<std::string>& args = {},
                                   std::chrono::milliseconds timeout = std::chrono::seconds(10));

// The program's host on two networks, 10.1.2.3/24 on eth0 and 10.7.0.3/24 on eth1, its host
// name mapped to 127.0.1.1 as Debian maps it, with a node on each: 10.1.2.21 on the first and
// 10.7.0.21 on the second.
class TwoNetworkLab : public Lab {
public:
    TwoNetworkLab(const std::string& nodeBinary, const std::vector<std::string>& firstArgs = {},
                  const std::vector<std::string>& secondArgs = {});

    Process& First() { return *m_first; }
    Process& Second() { return *m_second; }

    // What node, at address, printed after its ready line, up to a marker the tool host sends
    // it now: whatever the tool host sent it earlier arrives first.
    std::vector<std::string> HeardBeforeMarker(Process& node, const std::string& address);

private:
    std::unique_ptr<Process> m_first;
    std::unique_ptr<Process> m_second;
};

}  // namespace lab
