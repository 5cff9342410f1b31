// Windows only: the window menu that Windows itself shows from the title bar holds the About,
// Network, DMX Monitor and Channel Check items, and choosing them there opens their windows.
#include <QApplication>
#include <QTimer>

#include "app/AboutDlg.h"
#include "tests/support/MainWindowFixture.h"

// Last: its macros would rename the program's own functions in the headers above.
#include <windows.h>

namespace {

class NativeWindowMenuTest : public testing_support::MainWindowFixture {};

TEST_F(NativeWindowMenuTest, HoldsAboutAndTheMonitorAfterASeparator) {
    CNodeTestDlg& dialog = OpenShown();
    const HWND window = reinterpret_cast<HWND>(dialog.winId());
    HMENU menu = GetSystemMenu(window, FALSE);
    ASSERT_NE(menu, nullptr);
    const int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 5);
    // The program's own windows follow About, after a separator.
    const struct {
        int position;
        unsigned command;
        const char* text;
    } items[] = {{count - 4, res::kCommandAbout, "&About PraveltTest..."},
                 {count - 3, res::kCommandNetwork, "&Network..."},
                 {count - 2, res::kCommandMonitor, "&DMX Monitor..."},
                 {count - 1, res::kCommandChannelCheck, "&Channel Check..."}};
    for (const auto& item : items) {
        EXPECT_EQ(GetMenuItemID(menu, item.position), item.command);
        char text[64] = {};
        GetMenuStringA(menu, item.command, text, sizeof text, MF_BYCOMMAND);
        EXPECT_STREQ(text, item.text);
    }
    MENUITEMINFOA separator{};
    separator.cbSize = sizeof separator;
    separator.fMask = MIIM_FTYPE;
    ASSERT_TRUE(GetMenuItemInfoA(menu, static_cast<UINT>(count - 5), TRUE, &separator));
    EXPECT_TRUE(separator.fType & MFT_SEPARATOR);
}

TEST_F(NativeWindowMenuTest, ChoosingAboutThereOpensTheBox) {
    CNodeTestDlg& dialog = OpenShown();
    QString title;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    // Returns once the box closed.
    SendMessageA(reinterpret_cast<HWND>(dialog.winId()), WM_SYSCOMMAND, res::kCommandAbout, 0);
    EXPECT_EQ(title, "About PraveltTest");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(NativeWindowMenuTest, ChoosingTheMonitorThereOpensOneWindow) {
    CNodeTestDlg& dialog = OpenShown();
    for (int choice = 0; choice < 2; ++choice) {
        SendMessageA(reinterpret_cast<HWND>(dialog.winId()), WM_SYSCOMMAND, res::kCommandMonitor,
                     0);
    }
    ASSERT_NE(dialog.MonitorWindow(), nullptr);
    EXPECT_TRUE(dialog.MonitorWindow()->isVisible());
    EXPECT_EQ(dialog.findChildren<DmxMonitorWindow*>().size(), 1);
    EXPECT_TRUE(dialog.isVisible());
}

}  // namespace
