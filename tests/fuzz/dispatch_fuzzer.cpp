// Any datagram through the dispatcher: no crash, at most one report, results as the codes say.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/NodeSocket.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The tick never hands on more than its 600-byte buffer holds.
    size = std::min(size, net::kReceiveBufferLength);
    int reports = 0;
    std::string broadcast;
    net::NodeSocketEnvironment environment;
    environment.lookupHostAddress = nullptr;
    environment.showMessage = [&](const std::string& text) {
        ++reports;
        if (text.size() > 64) std::abort();
    };
    net::NodeSocket socket(broadcast, std::move(environment));
    int replies = 0;
    socket.SetPollReplyHandler(
        [&](const std::uint8_t*, std::size_t, const std::string& sender, std::uint16_t port) {
            ++replies;
            if (sender != "10.1.2.20" || port != 3333) std::abort();
            return 1;
        });
    const int result = socket.DispatchDatagram(data, size, "10.1.2.20", 3333);
    if (reports > 1 || replies > 1 || (reports == 1 && replies == 1)) std::abort();
    if (size < 4 && (result != 0 || reports != 1)) std::abort();
    if (result != 0 && result != 1) std::abort();
    return 0;
}
