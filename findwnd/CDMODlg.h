#pragma once
// The components notice: which libraries Quarrow reaches SQL Servers with. Ends with OK
// ("Yes, Download ...") or Cancel ("No, I have all required components ...").

#include <QDialog>

class CDMODlg : public QDialog
{
    Q_OBJECT
public:
    explicit CDMODlg(QWidget* pParent = nullptr);
    ~CDMODlg() override;
};
