#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/KeptNetwork.h"
#include "app/NodeTestApp.h"
#include "app/NodeTestDlg.h"
#include "framework/MessageBox.h"
#include "framework/ModalLoop.h"
#include "net/Interfaces.h"
#include "praveltest/Version.h"
#include "res/Strings.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

constexpr int kBadCommandLine = 2;

#ifdef _WIN32
// Output the caller redirected to a file or a pipe already has its handle.
bool HasHandle(DWORD stream) {
    return GetFileType(GetStdHandle(stream)) != FILE_TYPE_UNKNOWN;
}
#endif

// A GUI-subsystem program has no console of its own; write to the one it was started from,
// unless the caller redirected the output elsewhere.
void UseParentConsole() {
#ifdef _WIN32
    const bool output = HasHandle(STD_OUTPUT_HANDLE);
    const bool errors = HasHandle(STD_ERROR_HANDLE);
    if ((output && errors) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
    if (!output) std::freopen("CONOUT$", "w", stdout);
    if (!errors) std::freopen("CONOUT$", "w", stderr);
#endif
}

int Fail(const std::string& error) {
    std::fprintf(stderr, "praveltest: %s\n", error.c_str());
    return kBadCommandLine;
}

}  // namespace

int main(int argc, char* argv[]) {
    const commandline::CommandLine line =
        commandline::ParseCommandLine(std::vector<std::string>(argv, argv + argc));
    if (line.action != commandline::Action::Run) UseParentConsole();
    switch (line.action) {
        case commandline::Action::Help:
            std::fputs(commandline::HelpText(line.qtArguments.front()).c_str(), stdout);
            return 0;
        case commandline::Action::Version:
            std::printf("praveltest %s\n", praveltest::kVersion);
            return 0;
        case commandline::Action::Error:
            return Fail(line.error + "; try --help");
        case commandline::Action::ListInterfaces: {
            net::StartSocketLayer();
            const std::string text = net::HostInterfaceListText();
            net::StopSocketLayer();
            std::fputs(text.c_str(), stdout);
            return 0;
        }
        case commandline::Action::Run:
            break;
    }

    CNodeTestApp::Environment environment;
    if (line.interfaceChoice) {
        net::StartSocketLayer();
        const net::InterfaceChoice choice =
            net::ChooseInterface(*line.interfaceChoice, net::ListInterfaces());
        net::StopSocketLayer();
        if (!choice.chosen) {
            UseParentConsole();
            return Fail(choice.error);
        }
    }
    // --interface wins; without it, the choice the user made in the Network window last time.
    environment.network = [commandLine = line.interfaceChoice] {
        NetworkSetup setup;
        setup.request.commandLine = commandLine;
        if (!commandLine) setup.request.kept = keptnetwork::Load();
        setup.keep = keptnetwork::Save;
        return std::optional<NetworkSetup>(std::move(setup));
    };

    std::vector<std::string> qtArguments = line.qtArguments;
    std::vector<char*> qtArgv;
    for (std::string& each : qtArguments) qtArgv.push_back(each.data());
    qtArgv.push_back(nullptr);
    int qtArgc = static_cast<int>(qtArguments.size());
    QApplication application(qtArgc, qtArgv.data());
    QApplication::setApplicationName(QString::fromLatin1(res::kProgramName));
    framework::SetMessageBoxSink(framework::QtMessageBoxSink(res::kProgramName));
    QApplication::setApplicationVersion(QString::fromLatin1(praveltest::kVersion));
    CNodeTestApp nodeTestApp(std::move(environment));
    nodeTestApp.InitInstance();
    return framework::QuitExitCode();
}
