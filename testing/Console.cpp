#include "testing/Console.h"

#include <chrono>
#include <vector>

#include "protocol/NodeProtocol.h"
#include "testing/Lab.h"
#include "testing/PeerSocket.h"

namespace testing_support {

Console::Console(const std::string& ns, int universes, const std::string& broadcastAddress) {
    m_thread = std::thread([this, ns, universes, broadcastAddress] {
        lab::NamespaceSwitch inside(ns);
        PeerSocket desk("0.0.0.0", 0);
        std::vector<std::vector<std::uint8_t>> frames;
        for (int universe = 1; universe <= universes; ++universe) {
            protocol::DmxDataFields fields;
            fields.universe = universe;
            fields.level = static_cast<std::uint8_t>(universe);
            protocol::DmxBuffer buffer;
            const std::size_t length = protocol::BuildDmxData(fields, buffer);
            frames.emplace_back(buffer.begin(), buffer.begin() + length);
        }
        auto next = std::chrono::steady_clock::now();
        while (!m_stop) {
            for (const auto& frame : frames)
                desk.SendTo(broadcastAddress, protocol::kNodePort, frame);
            ++m_rounds;
            // A schedule, not a pause: a late round does not push the later ones back.
            next += std::chrono::microseconds(1'000'000 / 44);
            std::this_thread::sleep_until(next);
        }
    });
}

Console::~Console() {
    Stop();
}

void Console::Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
}

}  // namespace testing_support
