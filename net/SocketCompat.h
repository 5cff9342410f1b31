// The few socket calls that differ between Windows Sockets and POSIX; everything that must
// differ between the two lives here and in SystemSockets.h. No system header is included:
// on Windows they pull in <windows.h>, whose macros (MessageBox, LoadString, LoadIcon, min,
// max) would rename the window code's own functions wherever the endpoint is included.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "protocol/NodeProtocol.h"

namespace net {

#ifdef _WIN32
using SocketHandle = std::uintptr_t;  // SOCKET; SystemSockets.h checks that they agree
inline constexpr SocketHandle kInvalidSocket = ~SocketHandle{0};
#else
using SocketHandle = int;
inline constexpr SocketHandle kInvalidSocket = -1;
#endif

// Starts the platform's socket layer; always true on POSIX.
bool StartSocketLayer();
void StopSocketLayer();
#ifdef _WIN32
// A system text in UTF-8; empty for none.
std::string NarrowText(const wchar_t* wide);
#endif

int LastSocketError();
void SetLastSocketError(int error);
// The text of a socket error, as the system words it.
std::string SocketErrorText(int error);
void CloseSocketHandle(SocketHandle handle);
bool MakeNonBlocking(SocketHandle handle);

// Sets a socket-level integer option; the result is not looked at by design.
void SetIntOption(SocketHandle handle, int option, int value);
// The port a bound socket holds, as the system chose it for port 0; 0 when unknown.
std::uint16_t LocalPort(SocketHandle handle);

struct Sender {
    std::string address;  // dotted decimal
    std::uint16_t port = 0;
};

// What waits on a socket, read in as few system calls as the platform allows.
struct DatagramBatch {
    static constexpr std::size_t kCount = 64;
    static constexpr std::size_t kCapacity = protocol::kLongestDatagram;
    struct Entry {
        std::size_t length;
        bool oversized;         // longer than kCapacity: dropped whole, no bytes
        std::uint32_t address;  // the sender's, in network order
        std::uint16_t port;
    };
    std::array<std::array<std::uint8_t, kCapacity>, kCount> buffers;
    std::array<Entry, kCount> entries;
};
// Fills the batch with up to kCount waiting datagrams and returns how many; 0 when none
// waits or the socket failed. Fewer than kCount means the socket was emptied.
std::size_t ReceiveBatch(SocketHandle handle, DatagramBatch& batch);
// Dotted decimal.
std::string AddressText(std::uint32_t networkOrderAddress);

// Reads one waiting datagram into buffer and returns its length, 0 for an empty one.
// Nothing when none waits, on error, or when the datagram was longer than capacity: that
// one is dropped whole.
std::optional<std::size_t> ReceiveDatagram(SocketHandle handle, std::uint8_t* buffer,
                                           std::size_t capacity, Sender& sender);

enum class WaitResult { First, Second, Failed };
// Blocks until first or second is readable (or has an error pending); second wins a tie.
// Interruptions by a signal are waited through.
WaitResult WaitReadable(SocketHandle first, SocketHandle second);
// True when handle became readable within timeoutMilliseconds.
bool WaitReadableFor(SocketHandle handle, int timeoutMilliseconds);

}  // namespace net
