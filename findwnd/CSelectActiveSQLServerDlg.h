#pragma once
// Select Server: the SQL Servers the object model finds active on the network, listed in
// alphabetical order. On OK the selected entry's text is the chosen server.

#include <QDialog>
#include <QString>

class QListWidget;

class CSelectActiveSQLServerDlg : public QDialog
{
    Q_OBJECT
public:
    // Lists the active servers at once, under the wait cursor, before the dialog shows.
    explicit CSelectActiveSQLServerDlg(QWidget* pParent = nullptr);
    ~CSelectActiveSQLServerDlg() override;

    // The selected entry's text, read on OK; empty when none was selected.
    QString m_strServer;

    QListWidget* GetServerList() const { return m_pServerList; }
    // The control of template 139 with this id, or null.
    QWidget* GetControl(int nId) const;

    void accept() override;

private:
    void OnInitDialog();
    void UpdateData(bool bSaveAndValidate);

    QListWidget* m_pServerList = nullptr;
};
