// A lighting desk on a lab host: full 512-channel DMX frames of every universe it has, sent to
// the subnet's broadcast address on the node port 44 times a second, until it is destroyed.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace testing_support {

class Console {
public:
    // Starts sending from the namespace ns; frames of universe u carry level u.
    Console(const std::string& ns, int universes, const std::string& broadcastAddress);
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // Ends the sending after the round under way; Rounds() is then final.
    void Stop();
    // Complete rounds of every universe sent so far.
    long Rounds() const { return m_rounds; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<long> m_rounds{0};
    std::thread m_thread;
};

}  // namespace testing_support
