#include "findwnd/CSnapshotProgressDlg.h"

#include "catalog/CSnapshotLibrary.h"

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// How often the counters are shown while the worker runs.
constexpr int kProgressIntervalMs = 200;

QString FileNameFor(const QString& strServer)
{
    QString strName = strServer;
    // Host\instance and host,port make poor file names.
    for (QChar& c : strName) {
        if (!c.isLetterOrNumber() && c != u'-' && c != u'_' && c != u'.')
            c = u'_';
    }
    return strName + u".qcat"_s;
}

} // namespace

QString CSnapshotProgressDlg::AskFileName(QWidget* pParent, const QString& strServer)
{
    const QString strFolder = QString::fromStdString(CSnapshotLibrary::GetUserFolder());
    QDir().mkpath(strFolder);
    QFileDialog dlg(pParent, u"Take Snapshot of "_s + strServer);
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setNameFilter(u"Catalogue snapshots (*.qcat)"_s);
    dlg.setDefaultSuffix(u"qcat"_s);
    dlg.setDirectory(strFolder);
    dlg.selectFile(FileNameFor(strServer));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return QString();
    QString strFile = dlg.selectedFiles().front();
    // Quarrow knows a snapshot by its suffix.
    if (!strFile.endsWith(u".qcat"_s))
        strFile += u".qcat"_s;
    return strFile;
}

CSnapshotProgressDlg::CSnapshotProgressDlg(SSnapshotRequest request, QWidget* pParent)
    : QDialog(pParent), m_request(std::move(request)), m_pTaker(std::make_unique<CSnapshotTaker>())
{
    setWindowTitle(u"Taking Snapshot"_s);
    auto* pLayout = new QVBoxLayout(this);
    m_pText = new QLabel(
        u"Connecting to "_s + QString::fromStdU16String(m_request.m_strServer) + u"..."_s, this);
    m_pText->setObjectName(u"snapshotProgressText"_s);
    m_pBar = new QProgressBar(this);
    m_pBar->setRange(0, 0);
    m_pCancel = new QPushButton(u"Cancel"_s, this);
    m_pCancel->setObjectName(u"snapshotCancel"_s);
    pLayout->addWidget(m_pText);
    pLayout->addWidget(m_pBar);
    pLayout->addWidget(m_pCancel, 0, Qt::AlignRight);
    connect(m_pCancel, &QPushButton::clicked, this, &CSnapshotProgressDlg::reject);
    m_pTimer = new QTimer(this);
    m_pTimer->setInterval(kProgressIntervalMs);
    connect(m_pTimer, &QTimer::timeout, this, &CSnapshotProgressDlg::ShowProgress);
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(360);
}

CSnapshotProgressDlg::~CSnapshotProgressDlg()
{
    m_pTaker->Cancel();
    if (m_worker.joinable())
        m_worker.join();
}

void CSnapshotProgressDlg::Start()
{
    m_bRunning = true;
    m_pTimer->start();
    // The worker reports back through a queued call; the destructor joins it first, so the
    // dialog is there when the call is made (Qt drops calls to an object deleted since).
    m_worker = std::thread([this] {
        std::u16string error;
        const bool bWritten = m_pTaker->Take(m_request, error);
        const QString strError = QString::fromStdU16String(error);
        QMetaObject::invokeMethod(
            this, [this, bWritten, strError] { OnWorkerDone(bWritten, strError); },
            Qt::QueuedConnection);
    });
    open();
}

void CSnapshotProgressDlg::ShowProgress()
{
    const int nTotal = m_pTaker->GetDatabaseCount();
    if (nTotal == 0)
        return;
    const int nDone = m_pTaker->GetDatabasesDone();
    m_pBar->setRange(0, nTotal);
    m_pBar->setValue(nDone);
    m_pText->setText(u"Database %1 of %2, %3 objects, %4 MB read"_s.arg(std::min(nDone + 1, nTotal))
                         .arg(nTotal)
                         .arg(m_pTaker->GetObjectsDone())
                         .arg(double(m_pTaker->GetBytesRead()) / 1e6, 0, 'f', 1));
}

void CSnapshotProgressDlg::reject()
{
    if (!m_bRunning) {
        QDialog::reject();
        return;
    }
    // The dialog stays until the worker has stopped and removed its file.
    m_pTaker->Cancel();
    m_pCancel->setEnabled(false);
    m_pText->setText(u"Stopping..."_s);
}

void CSnapshotProgressDlg::OnWorkerDone(bool bWritten, const QString& strError)
{
    if (m_worker.joinable())
        m_worker.join();
    m_bRunning = false;
    m_pTimer->stop();
    const bool bStopped = !bWritten && m_pTaker->IsCancelled();
    if (bWritten)
        accept();
    else
        QDialog::reject();
    Q_EMIT snapshotFinished(bWritten, bStopped ? QString() : strError);
}
