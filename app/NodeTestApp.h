// The application object: starts the socket layer, runs the main window, ends the program.
#pragma once

#include <functional>

#include "net/NodeSocket.h"

class CNodeTestDlg;

class CNodeTestApp {
public:
    struct Environment {
        std::function<bool()> startSocketLayer = net::StartSocketLayer;
        std::function<net::NodeSocketEnvironment()> socketEnvironment;
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
