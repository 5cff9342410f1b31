// A lighting desk on a lab host: full 512-channel DMX frames of every universe it has, sent to
// the subnet's broadcast address on the node port 44 times a second, until it is destroyed.
#pragma once

#include <memory>
#include <string>

#include "testing/Desk.h"

namespace testing_support {

class Console {
public:
    // Starts sending from the namespace ns; frames of universe u carry level u, but for the
    // fading universe (0: none), whose every level moves one up each round.
    Console(const std::string& ns, int universes, const std::string& broadcastAddress,
            int fadingUniverse = 0);

    // Ends the sending after the round under way; Rounds() is then final.
    void Stop() { m_desk->Stop(); }
    // Complete rounds of every universe sent so far.
    long Rounds() const { return m_desk->Rounds(); }
    // Datagrams sent so far, every universe of every complete round.
    long Sent() const { return Rounds() * m_universes; }

private:
    int m_universes;
    std::unique_ptr<Desk> m_desk;
};

// Whether a socket beside a console kept up, though the kernel dropped some of what was sent.
// A shared virtual machine can stop a core for longer than a stock queue lasts beside a show's
// console (about 30 ms of 256 universes), which no reader survives; one that keeps up loses
// nothing or such a stall's worth, one that falls behind a third or more.
bool KeptUpWith(long drops, long sent);
// KeptUpWith as a benchmark's goal.
inline constexpr char kKeptUpGoal[] = "at most 1 % of those sent, a host's stall";

}  // namespace testing_support
