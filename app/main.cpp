#include <QApplication>

#include "app/NodeTestApp.h"
#include "framework/ModalLoop.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("PraveltTest"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0.1"));
    CNodeTestApp nodeTestApp;
    nodeTestApp.InitInstance();
    return framework::QuitExitCode();
}
