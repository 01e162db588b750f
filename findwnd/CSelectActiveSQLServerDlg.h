#pragma once
// Select Server: the SQL Servers the object model finds active on the network, listed in
// alphabetical order. On OK the selected entry's text is the chosen server.

#include <QDialog>
#include <QString>
#include <memory>
#include <string>
#include <vector>

class QListWidget;

class CSelectActiveSQLServerDlg : public QDialog
{
    Q_OBJECT
public:
    // Starts listing the active servers on a worker thread; the entries arrive while the
    // dialog is up, under a busy cursor over the dialog.
    explicit CSelectActiveSQLServerDlg(QWidget* pParent = nullptr);
    ~CSelectActiveSQLServerDlg() override;

    // The selected entry's text, read on OK; empty when none was selected.
    QString m_strServer;

    QListWidget* GetServerList() const { return m_pServerList; }
    // The control of template 139 with this id, or null.
    QWidget* GetControl(int nId) const;
    // True until the list has arrived (or the listing was given up).
    bool IsListing() const { return m_bListing; }

    void accept() override;
    void done(int nResult) override;

Q_SIGNALS:
    // The list has arrived and is shown.
    void listed();

private:
    struct SListing;

    void OnInitDialog();
    void UpdateData(bool bSaveAndValidate);
    void OnListed(const std::vector<std::u16string>& names);
    void StopListing();

    QListWidget* m_pServerList = nullptr;
    bool m_bListing = false;
    std::shared_ptr<SListing> m_pListing;
};
