#include "net/WakeSignal.h"

#include "net/SystemSockets.h"

#ifndef _WIN32
#include <fcntl.h>

#include <cerrno>
#include <cstring>
#endif

namespace net {

#ifdef _WIN32
// A loopback UDP socket connected to itself: a byte sent to it wakes WSAPoll, which cannot
// wait on an event or a pipe.
WakeSignal::WakeSignal() {
    const SocketHandle wake = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof self;
    if (wake == INVALID_SOCKET || bind(wake, reinterpret_cast<sockaddr*>(&self), length) != 0 ||
        getsockname(wake, reinterpret_cast<sockaddr*>(&self), &length) != 0 ||
        connect(wake, reinterpret_cast<sockaddr*>(&self), length) != 0) {
        m_error = "no loopback socket to wake on: " + SocketErrorText(LastSocketError());
        if (wake != INVALID_SOCKET) closesocket(wake);
        return;
    }
    m_read = m_write = wake;
}

WakeSignal::~WakeSignal() {
    if (Valid()) closesocket(m_read);
}

void WakeSignal::Raise() const {
    const char byte = 0;
    send(m_write, &byte, 1, 0);
}
#else
WakeSignal::WakeSignal() {
    int handles[2];
    if (pipe(handles) != 0) {
        m_error = std::string("no pipe to wake on: ") + std::strerror(errno);
        return;
    }
    for (const int handle : handles) {
        fcntl(handle, F_SETFD, FD_CLOEXEC);
        fcntl(handle, F_SETFL, fcntl(handle, F_GETFL) | O_NONBLOCK);
    }
    m_read = handles[0];
    m_write = handles[1];
}

WakeSignal::~WakeSignal() {
    if (!Valid()) return;
    ::close(m_read);
    ::close(m_write);
}

// Only a write: async-signal-safe. A full pipe is readable already.
void WakeSignal::Raise() const {
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = write(m_write, &byte, 1);
}
#endif

}  // namespace net
