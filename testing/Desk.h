// A lighting desk on loopback: fixed frames sent from its own address to one address and port
// every period, until it is stopped, as a console refreshes its universes.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "testing/PeerSocket.h"

namespace testing_support {

class Desk {
public:
    using Frames = std::vector<std::vector<std::uint8_t>>;

    Desk(const std::string& ownAddress, const std::string& toAddress, std::uint16_t toPort,
         Frames frames, std::chrono::milliseconds period = std::chrono::milliseconds(50));
    ~Desk();
    Desk(const Desk&) = delete;
    Desk& operator=(const Desk&) = delete;

    // Ends the sending; LastSent() is then final.
    void Stop();
    // When the last frame left; the epoch before the first.
    std::chrono::steady_clock::time_point LastSent() const { return m_lastSent.load(); }

private:
    PeerSocket m_socket;
    std::atomic<bool> m_stop{false};
    std::atomic<std::chrono::steady_clock::time_point> m_lastSent{};
    std::thread m_thread;
};

}  // namespace testing_support
