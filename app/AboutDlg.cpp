#include "app/AboutDlg.h"

#include <QLabel>
#include <algorithm>

#include "res/Templates.h"

CAboutDlg::CAboutDlg(const QIcon& icon, QWidget* parent)
    : framework::Dialog(res::AboutDialogTemplate(), parent), m_icon(icon) {}

bool CAboutDlg::OnInitDialog() {
    framework::Dialog::OnInitDialog();
    const auto& controls = Template().controls;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (controls[i].kind != framework::ControlKind::Icon) continue;
        auto* picture = qobject_cast<QLabel*>(ControlAt(i));
        // The largest square the control's rectangle holds, centred in it.
        const int side = std::min(picture->width(), picture->height());
        picture->setAlignment(Qt::AlignCenter);
        picture->setPixmap(m_icon.pixmap(side, side));
    }
    return true;
}
