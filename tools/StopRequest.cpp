#include "tools/StopRequest.h"

#include "net/WakeSignal.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>

#include <cerrno>
#include <cstring>
#endif

namespace simnode {
namespace {

// Made once and never destroyed: the handlers may run until the process ends.
const net::WakeSignal* g_stop = nullptr;

#ifdef _WIN32
BOOL WINAPI OnConsoleEvent(DWORD event) {
    RequestStop();
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // Windows ends the process once this returns; give main the time to finish cleanly.
        Sleep(4000);
    }
    return TRUE;
}

bool CatchStopRequests(std::string* why) {
    if (SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) return true;
    *why = "cannot catch Ctrl+C: error " + std::to_string(GetLastError());
    return false;
}
#else
void OnStopSignal(int) {
    RequestStop();
}

bool CatchStopRequests(std::string* why) {
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
#endif

}  // namespace

bool InstallStopRequest(std::string* why) {
    if (g_stop) return true;
    const auto* stop = new net::WakeSignal;
    if (!stop->Valid()) {
        *why = stop->Error();
        delete stop;
        return false;
    }
    g_stop = stop;
    return CatchStopRequests(why);
}

void RequestStop() {
    if (g_stop) g_stop->Raise();
}

net::SocketHandle StopRequestHandle() {
    return g_stop ? g_stop->Handle() : net::kInvalidSocket;
}

}  // namespace simnode
