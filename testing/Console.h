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

private:
    std::unique_ptr<Desk> m_desk;
};

}  // namespace testing_support
