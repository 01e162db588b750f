#include "findwnd/CAboutDlg.h"

#include "findwnd/CHelpPages.h"
#include "findwnd/CHyperLink.h"
#include "findwnd/ProgramIcon.h"
#include "res/CDialogBuilder.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace {
const QString kVersionTemplate = u"Quarrow 3.4.3.2 ##"_s;
}

QString CAboutDlg::BuildDescription()
{
    return u"Unicode"_s + (sizeof(void*) == 8 ? u"(64bit)"_s : u"(32bit)"_s);
}

QString CAboutDlg::VersionLine()
{
    QString strLine = kVersionTemplate;
    strLine.replace(u"##"_s, BuildDescription());
    return strLine;
}

CAboutDlg::CAboutDlg(QWidget* pParent) : QDialog(pParent)
{
    setWindowTitle(u"About Quarrow"_s);
    setObjectName(u"CAboutDlg"_s);
    auto* pLayout = new QGridLayout(this);
    auto* pIcon = new QLabel(this);
    pIcon->setPixmap(ProgramIcon::Get().pixmap(32, 32));
    pLayout->addWidget(pIcon, 0, 0, 2, 1, Qt::AlignTop);

    m_pVersion = new QLabel(VersionLine(), this);
    CDialogBuilder::SetControlId(m_pVersion, kVersionId);
    pLayout->addWidget(m_pVersion, 0, 1);

    m_pLink = new CHyperLink(this);
    CDialogBuilder::SetControlId(m_pLink, kLinkId);
    m_pLink->setText(u"Quarrow help and home page"_s);
    m_pLink->SetURL(CHelpPages::Address(CHelpPages::EPage::Contents));
    pLayout->addWidget(m_pLink, 1, 1, Qt::AlignLeft);

    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    CDialogBuilder::SetControlId(pButtons->button(QDialogButtonBox::Ok), 1);
    connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    pLayout->addWidget(pButtons, 0, 2, 2, 1, Qt::AlignTop);
    pLayout->setSizeConstraint(QLayout::SetFixedSize);
}

CAboutDlg::~CAboutDlg() = default;
