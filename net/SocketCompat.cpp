#include "net/SystemSockets.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>

#include <cerrno>
#include <cstring>
#endif

namespace net {

#ifdef _WIN32
bool StartSocketLayer() {
    WSADATA data;
    // 2.2 for WSAPoll; everything the endpoint calls exists in 1.1 as well.
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}
void StopSocketLayer() {
    WSACleanup();
}
int LastSocketError() {
    return WSAGetLastError();
}
void SetLastSocketError(int error) {
    WSASetLastError(error);
}
std::string SocketErrorText(int error) {
    char text[256] = {};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
    std::string result(text, length);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                               result.back() == '.' || result.back() == ' ')) {
        result.pop_back();
    }
    if (result.empty()) result = "Windows Sockets error " + std::to_string(error);
    return result;
}
void CloseSocketHandle(SocketHandle handle) {
    closesocket(handle);
}
std::string NarrowText(const wchar_t* wide) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return {};
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), length, nullptr, nullptr);
    text.pop_back();
    return text;
}

bool MakeNonBlocking(SocketHandle handle) {
    u_long on = 1;
    return ioctlsocket(handle, FIONBIO, &on) == 0;
}
#else
bool StartSocketLayer() {
    return true;
}
void StopSocketLayer() {}
int LastSocketError() {
    return errno;
}
void SetLastSocketError(int error) {
    errno = error;
}
std::string SocketErrorText(int error) {
    return std::strerror(error);
}
void CloseSocketHandle(SocketHandle handle) {
    ::close(handle);
}
bool MakeNonBlocking(SocketHandle handle) {
    const int flags = fcntl(handle, F_GETFL, 0);
    return flags >= 0 && fcntl(handle, F_SETFL, flags | O_NONBLOCK) == 0;
}
#endif

void SetIntOption(SocketHandle handle, int option, int value) {
    setsockopt(handle, SOL_SOCKET, option, reinterpret_cast<const char*>(&value), sizeof value);
}

std::uint16_t LocalPort(SocketHandle handle) {
    sockaddr_in local{};
    SocketLength length = sizeof local;
    if (getsockname(handle, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
    return ntohs(local.sin_port);
}

std::string AddressText(std::uint32_t networkOrderAddress) {
    in_addr address{};
    address.s_addr = networkOrderAddress;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

WaitResult WaitReadable(SocketHandle first, SocketHandle second) {
    constexpr short kWake = POLLIN | POLLERR | POLLHUP;
    while (true) {
#ifdef _WIN32
        WSAPOLLFD waiting[2] = {{first, POLLRDNORM, 0}, {second, POLLRDNORM, 0}};
        if (WSAPoll(waiting, 2, -1) == SOCKET_ERROR) return WaitResult::Failed;
#else
        pollfd waiting[2] = {{first, POLLIN, 0}, {second, POLLIN, 0}};
        if (poll(waiting, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return WaitResult::Failed;
        }
#endif
        if (waiting[1].revents != 0) return WaitResult::Second;
        if (waiting[0].revents & POLLNVAL) return WaitResult::Failed;
        if (waiting[0].revents & kWake) return WaitResult::First;
    }
}

bool WaitReadableFor(SocketHandle handle, int timeoutMilliseconds) {
#ifdef _WIN32
    WSAPOLLFD waiting{handle, POLLRDNORM, 0};
    return WSAPoll(&waiting, 1, timeoutMilliseconds) > 0;
#else
    pollfd waiting{handle, POLLIN, 0};
    return poll(&waiting, 1, timeoutMilliseconds) > 0;
#endif
}

}  // namespace net
