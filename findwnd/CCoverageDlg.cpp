#include "findwnd/CCoverageDlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

CCoverageDlg::CCoverageDlg(QWidget* pParent) : QDialog(pParent)
{
    setObjectName(u"coverageDialog"_s);
    setWindowTitle(u"Not Searched"_s);
    auto* pLayout = new QVBoxLayout(this);
    m_pSummary = new QLabel(this);
    m_pSummary->setObjectName(u"coverageSummary"_s);
    pLayout->addWidget(m_pSummary);
    m_pList = new QTreeWidget(this);
    m_pList->setObjectName(u"coverageList"_s);
    m_pList->setRootIsDecorated(false);
    m_pList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pList->setHeaderLabels({u"Server"_s, u"Database"_s, u"Type"_s, u"Object"_s, u"Reason"_s});
    m_pList->header()->setStretchLastSection(true);
    pLayout->addWidget(m_pList);
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    pLayout->addWidget(pButtons);
    resize(640, 300);
}

CCoverageDlg::~CCoverageDlg() = default;

void CCoverageDlg::SetCoverage(const CSearchCoverage& coverage)
{
    m_pSummary->setText(QString::fromStdU16String(coverage.Summary()));
    m_pList->clear();
    QList<QTreeWidgetItem*> items;
    for (const SCoverageItem& item : coverage.GetItems()) {
        // A database's row leaves type and object empty: all of it was missed.
        items << new QTreeWidgetItem(QStringList{QString::fromStdU16String(item.m_strServer),
                                                 QString::fromStdU16String(item.m_strDatabase),
                                                 QString::fromStdU16String(item.m_strType),
                                                 QString::fromStdU16String(item.m_strObject),
                                                 QString::fromStdU16String(item.m_strReason)});
    }
    m_pList->addTopLevelItems(items);
    for (int i = 0; i < 4; ++i)
        m_pList->resizeColumnToContents(i);
}
