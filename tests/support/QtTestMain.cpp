// GoogleTest main for tests with real widgets: one QApplication, offscreen unless told otherwise.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "framework/MessageBox.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    // A stray message box must fail a test, never wait for a click that will not come.
    framework::SetMessageBoxSink(
        [](const std::string& text) { ADD_FAILURE() << "unexpected message box: " << text; });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
