#include "findwnd/CDMODlg.h"

#include "res/CDialogBuilder.h"
#include "res/Resource.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

CDMODlg::CDMODlg(QWidget* pParent) : QDialog(pParent)
{
    setWindowTitle(u"Quarrow - Components"_s);
    setObjectName(u"CDMODlg"_s);
    auto* pLayout = new QVBoxLayout(this);
    const QString texts[] = {
        u"Quarrow uses the following MS SQL Server libraries:"_s,
        u" MS SQL Server 6.X\n SQLOLE- is installed when you install the client utilities for Microsoft SQL Server 6.x"_s,
        u" MS SQL Server 7,2000,2005\nSQLDMO- is installed when you install the client utilities for Microsoft SQL Server 7.0 or higher."_s,
        u" MS SQL Server 2008, 2008 R2\nSQLDMO is NOT part of MS SQL Server installation."_s,
        u"If you have MS SQL Server 2008, you must install\n \"SQL Server 2005 Backward compatibility components\""_s,
    };
    for (const QString& strText : texts) {
        auto* pLabel = new QLabel(strText, this);
        pLabel->setWordWrap(true);
        pLayout->addWidget(pLabel);
    }
    auto* pYes =
        new QPushButton(u"Yes, Download SQL Server Backward compatibility components"_s, this);
    CDialogBuilder::SetControlId(pYes, IDOK);
    auto* pNo = new QPushButton(
        u"No, I have all required components, or will install them manually"_s, this);
    CDialogBuilder::SetControlId(pNo, IDCANCEL);
    pYes->setDefault(true);
    connect(pYes, &QPushButton::clicked, this, &QDialog::accept);
    connect(pNo, &QPushButton::clicked, this, &QDialog::reject);
    pLayout->addWidget(pYes);
    pLayout->addWidget(pNo);
}

CDMODlg::~CDMODlg() = default;
