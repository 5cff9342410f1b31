#include "tools/StopRequest.h"

#include "net/SystemSockets.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>

#include <cerrno>
#include <cstring>
#endif

namespace simnode {
namespace {

net::SocketHandle g_stopRead = net::kInvalidSocket;

#ifdef _WIN32
// A loopback UDP socket connected to itself: a byte sent to it wakes WSAPoll, which cannot
// wait on an event or a pipe.
net::SocketHandle g_wake = net::kInvalidSocket;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    RequestStop();
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // Windows ends the process once this returns; give main the time to finish cleanly.
        Sleep(4000);
    }
    return TRUE;
}
#else
int g_stopWrite = -1;

void OnStopSignal(int) {
    RequestStop();
}
#endif

}  // namespace

#ifdef _WIN32
bool InstallStopRequest(std::string* why) {
    if (g_stopRead != net::kInvalidSocket) return true;
    const net::SocketHandle wake = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof self;
    if (wake == INVALID_SOCKET || bind(wake, reinterpret_cast<sockaddr*>(&self), length) != 0 ||
        getsockname(wake, reinterpret_cast<sockaddr*>(&self), &length) != 0 ||
        connect(wake, reinterpret_cast<sockaddr*>(&self), length) != 0) {
        *why = "no loopback socket to wake on: " + net::SocketErrorText(net::LastSocketError());
        if (wake != INVALID_SOCKET) closesocket(wake);
        return false;
    }
    g_wake = wake;
    g_stopRead = wake;
    if (!SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) {
        *why = "cannot catch Ctrl+C: error " + std::to_string(GetLastError());
        return false;
    }
    return true;
}

void RequestStop() {
    const char byte = 0;
    send(g_wake, &byte, 1, 0);
}
#else
bool InstallStopRequest(std::string* why) {
    if (g_stopRead != net::kInvalidSocket) return true;
    int handles[2];
    if (pipe(handles) != 0) {
        *why = std::string("cannot catch signals: ") + std::strerror(errno);
        return false;
    }
    for (const int handle : handles) {
        fcntl(handle, F_SETFD, FD_CLOEXEC);
        fcntl(handle, F_SETFL, fcntl(handle, F_GETFL) | O_NONBLOCK);
    }
    g_stopRead = handles[0];
    g_stopWrite = handles[1];
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGINT, &action, nullptr) != 0 || sigaction(SIGTERM, &action, nullptr) != 0) {
        *why = std::string("cannot catch signals: ") + std::strerror(errno);
        return false;
    }
    // A reader that went away must not end the node; its lines are simply lost.
    signal(SIGPIPE, SIG_IGN);
    return true;
}

// Only a write: the wait in Serve sees the pipe become readable and returns cleanly.
void RequestStop() {
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = write(g_stopWrite, &byte, 1);
}
#endif

net::SocketHandle StopRequestHandle() {
    return g_stopRead;
}

}  // namespace simnode
