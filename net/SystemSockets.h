// The system's socket API, for the files that call it directly; keep it out of headers.
#pragma once

#include <type_traits>

#include "net/SocketCompat.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace net {

#ifdef _WIN32
static_assert(std::is_same_v<SocketHandle, SOCKET> && kInvalidSocket == INVALID_SOCKET);
using SocketLength = int;
#else
using SocketLength = socklen_t;
#endif

}  // namespace net
