#pragma once
// New SQL Server Registration: the server's name (typed, or picked from the active servers
// with "..."), the authentication mode, and the login name and password for SQL Server
// authentication, and how the live connection is encrypted. OK stays disabled until there is
// a server name.

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

class CNewSQLServerRegistrationDlg : public QDialog
{
    Q_OBJECT
public:
    // Each text field takes at most this many characters.
    static constexpr int kMaxLength = 30;
    // Indexes of the authentication radio group.
    static constexpr int kWindowsAuthentication = 0;
    static constexpr int kSqlServerAuthentication = 1;
    // Index of "Require" in the encryption list.
    static constexpr int kRequireEncryption = 2;

    explicit CNewSQLServerRegistrationDlg(QWidget* pParent = nullptr);
    ~CNewSQLServerRegistrationDlg() override;

    // The fields, exchanged with the controls by UpdateData.
    QString m_strLoginName;
    QString m_strPassword;
    int m_nAuthentication = kSqlServerAuthentication;
    QString m_strServer;
    // An EEncryptionMode as its index in the encryption list; "Request" by default.
    int m_nEncryption = 1;
    // Only a required encryption checks the certificate, so the box counts only then.
    bool m_bTrustServerCertificate = false;

    // Writes the fields to the controls, or reads them back. Reading stops at the first text
    // that is too long, after telling the user and putting the focus there; it answers false.
    bool UpdateData(bool bSaveAndValidate);

    // The control of template 138 with this id, or null.
    QWidget* GetControl(int nId) const;

    // Reads the fields first; a field that is too long keeps the dialog open.
    void accept() override;

private:
    void OnInitDialog();
    void OnBrowse();
    void OnWindowsAuthentication();
    void OnSqlServerAuthentication();
    void OnServerChanged();
    void OnEncryptionChanged();
    void EnableLogin(bool bEnable);
    // Reads one text field; false (with the message) when it is longer than the limit.
    bool ReadText(QLineEdit* pEdit, QString& strField);
    // Reads every field as it stands, without the limit checks.
    void ReadFieldsAsTheyStand();
    void ReadEncryption();
    // The checked radio button's index in the group, -1 when none is checked.
    int ReadAuthentication() const;

    QPushButton* m_pOk = nullptr;
    QLineEdit* m_pLoginName = nullptr;
    QLineEdit* m_pPassword = nullptr;
    QLineEdit* m_pServer = nullptr;
    QComboBox* m_pEncryption = nullptr;
    QCheckBox* m_pTrust = nullptr;
    bool m_bLimitsSet = false;
    bool m_bWriting = false; // the controls' own changes while the fields are written
};
