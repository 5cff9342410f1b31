// praveltest-node: see UsageText in SimulatedNode.cpp for the options and the output lines.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "net/Interfaces.h"
#include "tools/SimulatedNode.h"

namespace {

int g_stopWrite = -1;

// Only a write: the wait in Serve sees the pipe become readable and returns cleanly.
void OnStopSignal(int) {
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = write(g_stopWrite, &byte, 1);
}

bool CatchStopSignals(int& stopRead) {
    int handles[2];
    if (pipe(handles) != 0) return false;
    for (const int handle : handles) {
        fcntl(handle, F_SETFD, FD_CLOEXEC);
        fcntl(handle, F_SETFL, fcntl(handle, F_GETFL) | O_NONBLOCK);
    }
    stopRead = handles[0];
    g_stopWrite = handles[1];
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGINT, &action, nullptr) != 0 || sigaction(SIGTERM, &action, nullptr) != 0) {
        return false;
    }
    // A reader that went away must not end the node; its lines are simply lost.
    signal(SIGPIPE, SIG_IGN);
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::string program = argc > 0 ? argv[0] : "praveltest-node";
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const simnode::ParseResult parsed = simnode::ParseArguments(args);
    if (parsed.outcome == simnode::ParseOutcome::Help) {
        std::fputs(simnode::UsageText(program).c_str(), stdout);
        return 0;
    }
    if (parsed.outcome == simnode::ParseOutcome::ListInterfaces) {
        std::fputs(net::InterfaceListText(net::ListInterfaces(), net::ResolveHostName()).c_str(),
                   stdout);
        return 0;
    }
    if (parsed.outcome == simnode::ParseOutcome::Error) {
        std::fprintf(stderr, "praveltest-node: %s\nTry '%s --help'.\n", parsed.error.c_str(),
                     program.c_str());
        return 2;
    }
    int stopRead = -1;
    if (!CatchStopSignals(stopRead)) {
        std::perror("praveltest-node: cannot catch signals");
        return 1;
    }
    try {
        simnode::NodeEndpoint endpoint(parsed.options);
        std::printf("%s\n", simnode::ReadyLine(parsed.options).c_str());
        std::fflush(stdout);
        return simnode::Serve(endpoint, stopRead, stdout);
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "praveltest-node: %s\n", error.what());
        return 1;
    }
}
