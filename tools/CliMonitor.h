// praveltest-cli monitor: every DMX data message on the node port into the monitor model, shown
// live on a terminal or reported as lines.
#pragma once

#include <functional>
#include <string>

#include "net/UdpSocket.h"
#include "tools/CliArguments.h"

namespace clitool {

// Whether the request needs a terminal that standard output is not: the one line that says
// so, empty when it can run.
std::string MonitorMistake(const MonitorRequest& request);

// Runs on the open endpoint until the time is up or a stop is asked for, then sums up through
// say. interfaceName is "all" when the endpoint is tied to none. Throws std::runtime_error when
// it cannot wait for a stop request.
int RunMonitor(const MonitorRequest& request, const net::UdpSocket& endpoint,
               const std::string& interfaceName, std::uint16_t port,
               const std::function<void(const std::string&)>& say);

}  // namespace clitool
