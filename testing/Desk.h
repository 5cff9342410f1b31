// A lighting desk: fixed frames sent from a socket of its own to one address and port every
// period, until it is stopped, as a console refreshes its universes.
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

    // Bound to ownAddress on a port of its own, in the network namespace of the caller.
    Desk(const std::string& ownAddress, const std::string& toAddress, std::uint16_t toPort,
         Frames frames, std::chrono::microseconds period = std::chrono::milliseconds(50),
         int fadingFrame = -1);
    ~Desk();
    Desk(const Desk&) = delete;
    Desk& operator=(const Desk&) = delete;

    // Ends the sending after the round under way; Rounds() and LastSent() are then final.
    void Stop();
    // Complete rounds of every frame sent so far.
    long Rounds() const { return m_rounds; }
    // When the last round ended; the clock's epoch before the first.
    std::chrono::steady_clock::time_point LastSent() const { return m_lastSent.load(); }

private:
    PeerSocket m_socket;
    std::atomic<bool> m_stop{false};
    std::atomic<long> m_rounds{0};
    std::atomic<std::chrono::steady_clock::time_point> m_lastSent{};
    std::thread m_thread;
};

}  // namespace testing_support
