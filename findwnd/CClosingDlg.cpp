#include "findwnd/CClosingDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>

using namespace Qt::StringLiterals;

const QString CClosingDlg::kText = u"Closing threads and connections..."_s;

CClosingDlg::CClosingDlg(std::function<bool()> fnWorkerRecorded, QWidget* pParent)
    : QDialog(pParent, Qt::Dialog | Qt::FramelessWindowHint),
      m_fnWorkerRecorded(std::move(fnWorkerRecorded))
{
    setObjectName(u"CClosingDlg"_s);
    setModal(true);
    auto* pLayout = new QHBoxLayout(this);
    pLayout->addWidget(new QLabel(kText, this));
    pLayout->setContentsMargins(24, 18, 24, 18);
    m_pTimer = new QTimer(this);
    m_pTimer->setObjectName(u"timer"_s + QString::number(kTimerId));
    m_pTimer->setInterval(kPollMilliseconds);
    connect(m_pTimer, &QTimer::timeout, this, &CClosingDlg::Poll);
}

CClosingDlg::~CClosingDlg() = default;

void CClosingDlg::showEvent(QShowEvent* pEvent)
{
    QDialog::showEvent(pEvent);
    m_pTimer->start();
}

void CClosingDlg::Poll()
{
    ++m_nPolls;
    if (m_fnWorkerRecorded && m_fnWorkerRecorded())
        return;
    m_pTimer->stop();
    accept();
}
