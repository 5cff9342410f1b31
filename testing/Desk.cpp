#include "testing/Desk.h"

namespace testing_support {

Desk::Desk(const std::string& ownAddress, const std::string& toAddress, std::uint16_t toPort,
           Frames frames, std::chrono::microseconds period)
    : m_socket(ownAddress, 0) {
    m_thread = std::thread([this, toAddress, toPort, frames = std::move(frames), period] {
        auto next = std::chrono::steady_clock::now();
        while (!m_stop) {
            for (const auto& frame : frames) m_socket.SendTo(toAddress, toPort, frame);
            m_lastSent = std::chrono::steady_clock::now();
            ++m_rounds;
            // A schedule, not a pause: a late round does not push the later ones back.
            next += period;
            std::this_thread::sleep_until(next);
        }
    });
}

Desk::~Desk() {
    Stop();
}

void Desk::Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
}

}  // namespace testing_support
