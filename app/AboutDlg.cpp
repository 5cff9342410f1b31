#include "app/AboutDlg.h"

#include <QLabel>

#include "res/Templates.h"

CAboutDlg::CAboutDlg(const QIcon& icon, QWidget* parent)
    : framework::Dialog(res::AboutDialogTemplate(), parent), m_icon(icon) {}

bool CAboutDlg::OnInitDialog() {
    framework::Dialog::OnInitDialog();
    if (auto* picture = findChild<QLabel*>(QStringLiteral("icon"))) {
        picture->setPixmap(m_icon.pixmap(32, 32));
    }
    return true;
}
