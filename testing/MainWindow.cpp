#include "testing/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>

#include "framework/ModalLoop.h"
#include "net/HostAddress.h"
#include "res/ResourceIds.h"
#include "res/Strings.h"
#include "testing/Wait.h"

namespace testing_support {

net::NodeSocketEnvironment WindowEnvironment(std::uint16_t port, const std::string& hostAddress) {
    net::NodeSocketEnvironment environment = DefaultSocketEnvironment();
    environment.port = port;
    environment.lookupHostAddress = [hostAddress] { return net::ParseAddress(hostAddress); };
    return environment;
}

std::unique_ptr<CNodeTestDlg> OpenMainWindow(net::NodeSocketEnvironment environment,
                                             std::optional<NetworkSetup> network) {
    framework::ResetQuitRequest();
    auto window = std::make_unique<CNodeTestDlg>(std::move(environment), std::move(network));
    window->Create();
    return window;
}

NetworkWindow* ChooseNetworkItem(CNodeTestDlg& window) {
    const QString text = QString::fromStdString(res::LoadString(res::kStringNetworkItem));
    for (QAction* item : window.SystemMenu()->actions()) {
        if (item->text() != text) continue;
        item->trigger();
        return window.Network();
    }
    return nullptr;
}

bool ShowActive(CNodeTestDlg& window) {
    window.show();
    QApplication::setActiveWindow(&window);
    return QTest::qWaitForWindowActive(&window);
}

bool RunEventsUntil(std::chrono::milliseconds limit, const std::function<bool()>& done,
                    int pauseMilliseconds) {
    return WaitUntil(limit, done, [pauseMilliseconds] { QTest::qWait(pauseMilliseconds); });
}

}  // namespace testing_support
