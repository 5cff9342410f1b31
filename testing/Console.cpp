#include "testing/Console.h"

#include "protocol/NodeProtocol.h"
#include "testing/Lab.h"

namespace testing_support {

Console::Console(const std::string& ns, int universes, const std::string& broadcastAddress,
                 int fadingUniverse)
    : m_universes(universes) {
    Desk::Frames frames;
    for (int universe = 1; universe <= universes; ++universe) {
        protocol::DmxDataFields fields;
        fields.universe = universe;
        fields.level = static_cast<std::uint8_t>(universe);
        protocol::DmxBuffer buffer;
        const std::size_t length = protocol::BuildDmxData(fields, buffer);
        frames.emplace_back(buffer.begin(), buffer.begin() + length);
    }
    // A socket belongs to the namespace it was made in, whichever thread then sends on it.
    m_desk = lab::InNamespace(ns, [&] {
        return std::make_unique<Desk>("0.0.0.0", broadcastAddress, protocol::kNodePort,
                                      std::move(frames), std::chrono::microseconds(1'000'000 / 44),
                                      fadingUniverse - 1);
    });
}

bool KeptUpWith(long drops, long sent) {
    return drops >= 0 && drops * 100 <= sent;
}

}  // namespace testing_support
