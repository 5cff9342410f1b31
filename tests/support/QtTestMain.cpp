// GoogleTest main for tests with real widgets: one QApplication and the socket layer up. On
// Linux the widgets are offscreen unless told otherwise; on Windows (and under Wine, which
// does not pass QT_ variables on) they are the platform's own windows.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>

#include "framework/MessageBox.h"
#include "net/SocketCompat.h"

int main(int argc, char** argv) {
#ifndef _WIN32
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    if (!net::StartSocketLayer()) {
        std::fputs("the socket layer did not start\n", stderr);
        return 1;
    }
    QApplication application(argc, argv);
    // A stray message box must fail a test, never wait for a click that will not come.
    framework::SetMessageBoxSink(
        [](const std::string& text) { ADD_FAILURE() << "unexpected message box: " << text; });
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    net::StopSocketLayer();
    return result;
}
