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
    UdpSettings loopback;
    loopback.address = "127.0.0.1";
    sockaddr_in self{};
    int length = sizeof self;
    if (m_socket.Open(loopback) != UdpFailure::None ||
        getsockname(m_socket.Handle(), reinterpret_cast<sockaddr*>(&self), &length) != 0 ||
        connect(m_socket.Handle(), reinterpret_cast<sockaddr*>(&self), length) != 0) {
        m_error = "no loopback socket to wake on: " + SocketErrorText(LastSocketError());
        m_socket.Close();
        return;
    }
    m_read = m_write = m_socket.Handle();
}

WakeSignal::~WakeSignal() = default;

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
