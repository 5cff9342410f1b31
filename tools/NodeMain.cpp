// praveltest-node: see UsageText in NodeOptions.cpp for the options and the output lines.
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "net/Interfaces.h"
#include "tools/NodeOptions.h"
#include "tools/NodeReport.h"
#include "tools/SimulatedNode.h"
#include "tools/StopRequest.h"
#include "tools/ToolOptions.h"

namespace {

int Run(const simnode::NodeOptions& options) {
    std::string why;
    if (!simnode::InstallStopRequest(&why)) {
        std::fprintf(stderr, "praveltest-node: %s\n", why.c_str());
        return 1;
    }
    try {
        simnode::NodeEndpoint endpoint(options);
        std::printf("%s\n", simnode::ReadyLine(options).c_str());
        std::fflush(stdout);
        return simnode::Serve(endpoint, simnode::StopRequestHandle(), stdout);
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "praveltest-node: %s\n", error.what());
        return 1;
    }
}

}  // namespace

int main(int argc, char* argv[]) {
#ifdef _WIN32
    // The report lines are read by programs: the same bytes as on Linux, no carriage returns.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    const std::string program = argc > 0 ? argv[0] : "praveltest-node";
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const simnode::ParseResult parsed = simnode::ParseArguments(args);
    if (parsed.outcome == simnode::ParseOutcome::Help) {
        std::fputs(simnode::UsageText(program).c_str(), stdout);
        return 0;
    }
    if (parsed.outcome == simnode::ParseOutcome::Error) {
        return tooloptions::ReportBadCommandLine("praveltest-node", program, parsed.error);
    }
    // Windows resolves no host name before this, so the interface list needs it too.
    if (!net::StartSocketLayer()) {
        std::fprintf(stderr, "praveltest-node: cannot start the socket layer\n");
        return 1;
    }
    int status = 0;
    if (parsed.outcome == simnode::ParseOutcome::ListInterfaces) {
        std::fputs(net::HostInterfaceListText().c_str(), stdout);
    } else {
        status = Run(parsed.options);
    }
    net::StopSocketLayer();
    return status;
}
