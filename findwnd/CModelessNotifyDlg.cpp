#include "findwnd/CModelessNotifyDlg.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>

using namespace Qt::StringLiterals;

const QString CModelessNotifyDlg::kText =
    u"Quarrow is looking for available SQL Servers and databases...."_s;

CModelessNotifyDlg::CModelessNotifyDlg(QWidget* pParent) : QDialog(pParent)
{
    setWindowTitle(u"Quarrow"_s);
    setModal(false);
    setObjectName(u"CModelessNotifyDlg"_s);
    auto* pLayout = new QHBoxLayout(this);
    m_pText = new QLabel(kText, this);
    pLayout->addWidget(m_pText);
    pLayout->setContentsMargins(24, 18, 24, 18);
}

CModelessNotifyDlg::~CModelessNotifyDlg() = default;

void CModelessNotifyDlg::ShowNow()
{
    show();
    raise();
    activateWindow();
    setFocus();
    repaint();
    // Let the window system map and paint it before the long work starts.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
