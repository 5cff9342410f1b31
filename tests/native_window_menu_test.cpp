// Windows only: the window menu that Windows itself shows from the title bar holds the About
// item, and choosing it there opens the box.
#include <QApplication>
#include <QTimer>

#include "app/AboutDlg.h"
#include "tests/support/MainWindowFixture.h"

// Last: its macros would rename the program's own functions in the headers above.
#include <windows.h>

namespace {

class NativeWindowMenuTest : public testing_support::MainWindowFixture {};

TEST_F(NativeWindowMenuTest, HoldsAboutAfterASeparatorAndChoosingItOpensTheBox) {
    CNodeTestDlg& dialog = OpenShown();
    const HWND window = reinterpret_cast<HWND>(dialog.winId());
    HMENU menu = GetSystemMenu(window, FALSE);
    ASSERT_NE(menu, nullptr);
    const int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 3);
    // The program's own windows follow About.
    int about = 0;
    while (about < count && GetMenuItemID(menu, about) != res::kCommandAbout) ++about;
    ASSERT_LT(about, count);
    EXPECT_EQ(GetMenuItemID(menu, about + 1), res::kCommandChannelCheck);
    char text[64] = {};
    GetMenuStringA(menu, res::kCommandAbout, text, sizeof text, MF_BYCOMMAND);
    EXPECT_STREQ(text, "&About PraveltTest...");
    MENUITEMINFOA separator{};
    separator.cbSize = sizeof separator;
    separator.fMask = MIIM_FTYPE;
    ASSERT_TRUE(GetMenuItemInfoA(menu, static_cast<UINT>(about - 1), TRUE, &separator));
    EXPECT_TRUE(separator.fType & MFT_SEPARATOR);

    QString title;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    SendMessageA(window, WM_SYSCOMMAND, res::kCommandAbout, 0);  // returns once the box closed
    EXPECT_EQ(title, "About PraveltTest");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(messages.Messages().empty());
}

}  // namespace
