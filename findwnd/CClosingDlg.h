#pragma once
// The notice shown while the find window waits for its search worker to end before
// closing. It looks every 500 ms whether the worker is still recorded and ends itself once
// it is not. Escape ends it too.

#include <QDialog>
#include <functional>

class QTimer;

class CClosingDlg : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kTimerId = 100;
    static constexpr int kPollMilliseconds = 500;
    static const QString kText;

    // fnWorkerRecorded answers whether the find window still records a worker.
    CClosingDlg(std::function<bool()> fnWorkerRecorded, QWidget* pParent = nullptr);
    ~CClosingDlg() override;

    // How many times the worker was looked at (test probe).
    int GetPollCount() const { return m_nPolls; }

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    void Poll();

    std::function<bool()> m_fnWorkerRecorded;
    QTimer* m_pTimer = nullptr;
    int m_nPolls = 0;
};
