// The application object: starts the socket layer, runs the main window, ends the program.
#pragma once

#include <functional>
#include <optional>

#include "app/NodeTestDlg.h"
#include "net/NodeSocket.h"

class CNodeTestApp {
public:
    struct Environment {
        std::function<bool()> startSocketLayer = net::StartSocketLayer;
        std::function<net::NodeSocketEnvironment()> socketEnvironment;
        // The network to follow; called once the window system is up, as the kept choice
        // needs it. Unset, the window stays where the socket environment put it.
        std::function<std::optional<NetworkSetup>()> network;
        // Called with the main window before it runs, so tests can drive it.
        std::function<void(CNodeTestDlg&)> onMainWindow;
    };

    CNodeTestApp();
    explicit CNodeTestApp(Environment environment);

    // Always false: the program ends when the main window closes, with no message loop of its
    // own.
    bool InitInstance();
    CNodeTestDlg* MainWindow() const { return m_mainWindow; }

private:
    Environment m_environment;
    CNodeTestDlg* m_mainWindow = nullptr;
};
