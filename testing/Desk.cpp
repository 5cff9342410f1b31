#include "testing/Desk.h"

#include <algorithm>

#include "protocol/NodeProtocol.h"

namespace testing_support {

Desk::Desk(const std::string& ownAddress, const std::string& toAddress, std::uint16_t toPort,
           Frames frames, std::chrono::microseconds period, int fadingFrame)
    : m_socket(ownAddress, 0) {
    m_thread = std::thread([this, toAddress, toPort, frames = std::move(frames), period,
                            fadingFrame]() mutable {
        auto next = std::chrono::steady_clock::now();
        while (!m_stop) {
            if (fadingFrame >= 0 && static_cast<std::size_t>(fadingFrame) < frames.size()) {
                // Every level of the frame one up each round; header and trailer stay.
                auto& frame = frames[static_cast<std::size_t>(fadingFrame)];
                const auto level = static_cast<std::uint8_t>(m_rounds);
                if (frame.size() > protocol::kDmxHeaderLength + 1) {
                    std::fill(frame.begin() + protocol::kDmxHeaderLength, frame.end() - 1, level);
                }
            }
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
