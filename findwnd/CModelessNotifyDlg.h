#pragma once
// The notice shown while the find window connects the registered servers.

#include <QDialog>

class QLabel;

class CModelessNotifyDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CModelessNotifyDlg(QWidget* pParent = nullptr);
    ~CModelessNotifyDlg() override;

    // Shows the notice, gives it the focus and paints it at once.
    void ShowNow();

    static const QString kText;

private:
    QLabel* m_pText = nullptr;
};
