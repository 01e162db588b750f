#pragma once
// Take Snapshot: the Save As dialog for a live server's snapshot, then a progress dialog
// while a worker thread takes the catalogue. Cancel stops the worker at its next row; the
// old file under the name stays whole. The dialog is window-modal and does not block: its
// finished signal tells the owner how the work ended.

#include "catalog/CSnapshotTaker.h"

#include <QDialog>
#include <QString>
#include <memory>
#include <thread>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

class CSnapshotProgressDlg : public QDialog
{
    Q_OBJECT
public:
    // The file the user names for a snapshot of the server; empty when they cancel.
    static QString AskFileName(QWidget* pParent, const QString& strServer);

    CSnapshotProgressDlg(SSnapshotRequest request, QWidget* pParent);
    // Stops the worker and waits for it: a stop interrupts the statement running, so this is
    // short.
    ~CSnapshotProgressDlg() override;

    // Starts the worker and shows the dialog (window-modal).
    void Start();
    const SSnapshotReport& GetReport() const { return m_pTaker->GetReport(); }
    const SSnapshotRequest& GetRequest() const { return m_request; }

Q_SIGNALS:
    // bWritten: the file is in place; otherwise strError says why (empty for a stop).
    void snapshotFinished(bool bWritten, const QString& strError);

protected:
    void reject() override; // Cancel and Escape stop the work

private:
    void ShowProgress();
    void OnWorkerDone(bool bWritten, const QString& strError);

    SSnapshotRequest m_request;
    std::unique_ptr<CSnapshotTaker> m_pTaker;
    std::thread m_worker;
    QLabel* m_pText = nullptr;
    QProgressBar* m_pBar = nullptr;
    QPushButton* m_pCancel = nullptr;
    QTimer* m_pTimer = nullptr;
    bool m_bRunning = false;
};
