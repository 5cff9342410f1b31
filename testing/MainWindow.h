// The real main window for tests and measurements, on the network they chose.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/NodeTestDlg.h"

namespace testing_support {

// The program's socket environment on port, with hostAddress as this host's address: every
// broadcast goes to that address's a.b.c.255, so 127.0.0.1 keeps it on loopback.
net::NodeSocketEnvironment WindowEnvironment(std::uint16_t port, const std::string& hostAddress);

// Created as the program creates it (socket open, tick started, the one poll sent), not shown;
// a quit asked for by an earlier window is forgotten first.
// With network, the window follows the network as the program does.
std::unique_ptr<CNodeTestDlg> OpenMainWindow(net::NodeSocketEnvironment environment,
                                             std::optional<NetworkSetup> network = std::nullopt);

// Chooses Network... from the window menu; the window it opened or raised.
NetworkWindow* ChooseNetworkItem(CNodeTestDlg& window);

// Shows the window and waits until it is active; false when it never became so.
bool ShowActive(CNodeTestDlg& window);

// Runs the event loop, and with it the window's real timers, until done() holds; false when
// limit passed first.
bool RunEventsUntil(std::chrono::milliseconds limit, const std::function<bool()>& done,
                    int pauseMilliseconds = 10);

}  // namespace testing_support
