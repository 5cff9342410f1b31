// The few socket calls that differ between Windows Sockets and POSIX; what must differ between
// the two lives here, in SystemSockets.h and in UdpSocket.cpp. No system header is included:
// on Windows they pull in <windows.h>, whose macros (MessageBox, LoadString, LoadIcon, min,
// max) would rename the window code's own functions wherever the endpoint is included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

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

// Dotted decimal.
std::string AddressText(std::uint32_t networkOrderAddress);

enum class WaitResult { First, Second, Failed };
// Blocks until first or second is readable (or has an error pending); second wins a tie.
// Interruptions by a signal are waited through.
WaitResult WaitReadable(SocketHandle first, SocketHandle second);
// True when handle became readable within timeoutMilliseconds.
bool WaitReadableFor(SocketHandle handle, int timeoutMilliseconds);

}  // namespace net
