#include "app/NodeTestApp.h"

#include "app/NodeTestDlg.h"
#include "framework/MessageBox.h"
#include "res/ResourceIds.h"
#include "res/Strings.h"

CNodeTestApp::CNodeTestApp() : CNodeTestApp(Environment{}) {}

CNodeTestApp::CNodeTestApp(Environment environment) : m_environment(std::move(environment)) {
    if (!m_environment.socketEnvironment)
        m_environment.socketEnvironment = DefaultSocketEnvironment;
}

bool CNodeTestApp::InitInstance() {
    if (!m_environment.startSocketLayer()) {
        framework::MessageBox(res::LoadString(res::kStringSocketsFailed));
        return false;
    }
    {
        CNodeTestDlg mainWindow(m_environment.socketEnvironment(),
                                m_environment.network ? m_environment.network() : std::nullopt);
        m_mainWindow = &mainWindow;
        if (m_environment.onMainWindow) m_environment.onMainWindow(mainWindow);
        mainWindow.DoModal();
        m_mainWindow = nullptr;
    }
    net::StopSocketLayer();
    return false;
}
