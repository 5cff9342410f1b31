#pragma once

#include <QIcon>

#include "framework/Dialog.h"

class CAboutDlg : public framework::Dialog {
    Q_OBJECT
public:
    CAboutDlg(const QIcon& icon, QWidget* parent);

protected:
    bool OnInitDialog() override;

private:
    QIcon m_icon;
};
