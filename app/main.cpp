#include <QApplication>

#include "app/NodeTestApp.h"
#include "framework/ModalLoop.h"
#include "praveltest/Version.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("PraveltTest"));
    QApplication::setApplicationVersion(QString::fromLatin1(praveltest::kVersion));
    CNodeTestApp nodeTestApp;
    nodeTestApp.InitInstance();
    return framework::QuitExitCode();
}
