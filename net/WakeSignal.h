// A handle that a wait on sockets can include, so that another thread, or a signal handler,
// can end that wait: WaitReadable covers a socket and this alike.
#pragma once

#include <string>

#include "net/SocketCompat.h"
#include "net/UdpSocket.h"

namespace net {

class WakeSignal {
public:
    // On Windows the socket layer must already be started. Check Valid() before use.
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    bool Valid() const { return m_read != kInvalidSocket; }
    // Why it could not be made, when it is not valid.
    const std::string& Error() const { return m_error; }
    // Readable from the first Raise on, for good.
    SocketHandle Handle() const { return m_read; }
    // Safe from any thread and, on POSIX, from a signal handler.
    void Raise() const;

private:
    SocketHandle m_read = kInvalidSocket;
    SocketHandle m_write = kInvalidSocket;
    std::string m_error;
#ifdef _WIN32
    UdpSocket m_socket;
#endif
};

}  // namespace net
