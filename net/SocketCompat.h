// The few socket calls that differ between Windows Sockets and POSIX.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using SocketHandle = SOCKET;
inline constexpr SocketHandle kInvalidSocket = INVALID_SOCKET;
using SocketLength = int;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
using SocketHandle = int;
inline constexpr SocketHandle kInvalidSocket = -1;
using SocketLength = socklen_t;
#endif

namespace net {

// Starts the platform's socket layer; always true on POSIX.
bool StartSocketLayer();
void StopSocketLayer();

int LastSocketError();
void SetLastSocketError(int error);
void CloseSocketHandle(SocketHandle handle);
bool MakeNonBlocking(SocketHandle handle);
// True when the last receive failed only because nothing was waiting.
bool IsWouldBlock(int error);

}  // namespace net
