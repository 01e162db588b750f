#include "findwnd/CNewSQLServerRegistrationDlg.h"

#include "controls/CSuperApp.h"
#include "findwnd/CSelectActiveSQLServerDlg.h"
#include "res/CDialogBuilder.h"
#include "res/DialogTemplate.h"
#include "res/Resource.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>

using namespace Qt::StringLiterals;

namespace {

// Limits typing to a number of characters without cutting a longer text that the program
// puts in (a picked server name): such a text must reach the length check on reading, not be
// shortened behind the user's back as QLineEdit's own maximum length would do.
class CTypingLimit : public QValidator
{
public:
    CTypingLimit(int nMaxLength, QObject* pParent) : QValidator(pParent), m_nMaxLength(nMaxLength)
    {}
    State validate(QString& strInput, int& /*nPos*/) const override
    {
        return strInput.size() > m_nMaxLength ? Invalid : Acceptable;
    }

private:
    int m_nMaxLength;
};

} // namespace

CNewSQLServerRegistrationDlg::CNewSQLServerRegistrationDlg(QWidget* pParent) : QDialog(pParent)
{
    setObjectName(u"CNewSQLServerRegistrationDlg"_s);
    if (const SDialogTemplate* pTemplate = DialogTemplates::Find(IDD_NEW_REGISTRATION))
        CDialogBuilder().Build(*pTemplate, this);
    setFixedSize(size());
    m_pOk = qobject_cast<QPushButton*>(GetControl(IDOK));
    m_pLoginName = qobject_cast<QLineEdit*>(GetControl(IDC_REG_LOGIN_NAME));
    m_pPassword = qobject_cast<QLineEdit*>(GetControl(IDC_REG_PASSWORD));
    m_pServer = qobject_cast<QLineEdit*>(GetControl(IDC_REG_SERVER));
    m_pEncryption = qobject_cast<QComboBox*>(GetControl(IDC_REG_ENCRYPTION));
    m_pTrust = qobject_cast<QCheckBox*>(GetControl(IDC_REG_TRUST_CERTIFICATE));

    if (m_pOk != nullptr)
        connect(m_pOk, &QAbstractButton::clicked, this, &CNewSQLServerRegistrationDlg::accept);
    if (auto* pCancel = qobject_cast<QAbstractButton*>(GetControl(IDCANCEL)))
        connect(pCancel, &QAbstractButton::clicked, this, &CNewSQLServerRegistrationDlg::reject);
    if (auto* pBrowse = qobject_cast<QAbstractButton*>(GetControl(IDC_REG_BROWSE)))
        connect(pBrowse, &QAbstractButton::clicked, this, &CNewSQLServerRegistrationDlg::OnBrowse);
    if (auto* pWindows = qobject_cast<QAbstractButton*>(GetControl(IDC_REG_WINDOWS_AUTH)))
        connect(pWindows, &QAbstractButton::clicked, this,
                &CNewSQLServerRegistrationDlg::OnWindowsAuthentication);
    if (auto* pSql = qobject_cast<QAbstractButton*>(GetControl(IDC_REG_SQL_AUTH)))
        connect(pSql, &QAbstractButton::clicked, this,
                &CNewSQLServerRegistrationDlg::OnSqlServerAuthentication);
    if (m_pServer != nullptr)
        connect(m_pServer, &QLineEdit::textChanged, this,
                &CNewSQLServerRegistrationDlg::OnServerChanged);
    if (m_pEncryption != nullptr) {
        m_pEncryption->setToolTip(
            u"Off: never encrypt.\nRequest: encrypt when the server can; its certificate is "
            u"not checked.\nRequire: always encrypt, and check the server's certificate and "
            u"host name."_s);
        connect(m_pEncryption, &QComboBox::currentIndexChanged, this,
                &CNewSQLServerRegistrationDlg::OnEncryptionChanged);
    }
    if (m_pTrust != nullptr)
        m_pTrust->setToolTip(u"Accept the server's certificate without checking it (only "
                             u"with Require)"_s);
    OnInitDialog();
}

CNewSQLServerRegistrationDlg::~CNewSQLServerRegistrationDlg() = default;

QWidget* CNewSQLServerRegistrationDlg::GetControl(int nId) const
{
    return CDialogBuilder::FindControl(this, nId);
}

void CNewSQLServerRegistrationDlg::OnInitDialog()
{
    // OK keeps the template's disabled state until a server name is there.
    UpdateData(false);
    if (m_pServer != nullptr)
        m_pServer->setFocus();
}

bool CNewSQLServerRegistrationDlg::ReadText(QLineEdit* pEdit, QString& strField)
{
    if (pEdit == nullptr)
        return true;
    strField = pEdit->text();
    if (strField.size() <= kMaxLength)
        return true;
    QString strMessage;
    CSuperApp::GetMessageText(AFX_IDP_PARSE_STRING_SIZE, strMessage);
    CSuperApp::MessageBox(strMessage.arg(kMaxLength), CSuperApp::EIcon::Warning);
    pEdit->setFocus();
    pEdit->selectAll();
    return false;
}

bool CNewSQLServerRegistrationDlg::UpdateData(bool bSaveAndValidate)
{
    if (bSaveAndValidate) {
        if (!ReadText(m_pLoginName, m_strLoginName) || !ReadText(m_pPassword, m_strPassword) ||
            !ReadText(m_pServer, m_strServer))
            return false;
        m_nAuthentication = ReadAuthentication();
        ReadEncryption();
        return true;
    }

    // The controls' change notices are not the user's: they are not acted on.
    m_bWriting = true;
    for (QLineEdit* pEdit : {m_pLoginName, m_pPassword, m_pServer}) {
        if (pEdit != nullptr && !m_bLimitsSet)
            pEdit->setValidator(new CTypingLimit(kMaxLength, pEdit));
    }
    m_bLimitsSet = true;
    if (m_pLoginName != nullptr)
        m_pLoginName->setText(m_strLoginName);
    if (m_pPassword != nullptr)
        m_pPassword->setText(m_strPassword);
    if (m_pServer != nullptr)
        m_pServer->setText(m_strServer);
    if (m_pEncryption != nullptr)
        m_pEncryption->setCurrentIndex(m_nEncryption);
    if (m_pTrust != nullptr)
        m_pTrust->setChecked(m_bTrustServerCertificate);
    OnEncryptionChanged();
    if (QButtonGroup* pGroup = CDialogBuilder::FindRadioGroup(this, IDC_REG_WINDOWS_AUTH)) {
        const QList<QAbstractButton*> radios = pGroup->buttons();
        // An exclusive group cannot be left without a checked button otherwise.
        pGroup->setExclusive(false);
        for (int i = 0; i < radios.size(); ++i)
            radios[i]->setChecked(i == m_nAuthentication);
        pGroup->setExclusive(true);
    }
    m_bWriting = false;
    return true;
}

void CNewSQLServerRegistrationDlg::accept()
{
    if (!UpdateData(true))
        return;
    QDialog::accept();
}

void CNewSQLServerRegistrationDlg::EnableLogin(bool bEnable)
{
    // The texts stay: switching back brings them into use again.
    if (m_pLoginName != nullptr)
        m_pLoginName->setEnabled(bEnable);
    if (m_pPassword != nullptr)
        m_pPassword->setEnabled(bEnable);
}

void CNewSQLServerRegistrationDlg::OnWindowsAuthentication()
{
    EnableLogin(false);
}

void CNewSQLServerRegistrationDlg::OnSqlServerAuthentication()
{
    EnableLogin(true);
}

void CNewSQLServerRegistrationDlg::OnServerChanged()
{
    if (m_bWriting)
        return;
    UpdateData(true);
    if (m_pOk != nullptr && m_pServer != nullptr)
        m_pOk->setEnabled(!m_pServer->text().isEmpty());
}

void CNewSQLServerRegistrationDlg::ReadFieldsAsTheyStand()
{
    if (m_pLoginName != nullptr)
        m_strLoginName = m_pLoginName->text();
    if (m_pPassword != nullptr)
        m_strPassword = m_pPassword->text();
    if (m_pServer != nullptr)
        m_strServer = m_pServer->text();
    m_nAuthentication = ReadAuthentication();
    ReadEncryption();
}

void CNewSQLServerRegistrationDlg::ReadEncryption()
{
    if (m_pEncryption != nullptr && m_pEncryption->currentIndex() >= 0)
        m_nEncryption = m_pEncryption->currentIndex();
    if (m_pTrust != nullptr)
        m_bTrustServerCertificate = m_pTrust->isChecked();
}

void CNewSQLServerRegistrationDlg::OnEncryptionChanged()
{
    // The certificate is checked only when encryption is required.
    if (m_pTrust != nullptr && m_pEncryption != nullptr)
        m_pTrust->setEnabled(m_pEncryption->currentIndex() == kRequireEncryption);
}

int CNewSQLServerRegistrationDlg::ReadAuthentication() const
{
    const QButtonGroup* pGroup = CDialogBuilder::FindRadioGroup(this, IDC_REG_WINDOWS_AUTH);
    if (pGroup == nullptr)
        return -1;
    const QList<QAbstractButton*> radios = pGroup->buttons();
    for (int i = 0; i < radios.size(); ++i) {
        if (radios[i]->isChecked())
            return i;
    }
    return -1;
}

void CNewSQLServerRegistrationDlg::OnBrowse()
{
    // What was typed since the last change of the server text must survive the write-back
    // below. No length check here: the server is about to be replaced anyway.
    ReadFieldsAsTheyStand();
    CSelectActiveSQLServerDlg select(this);
    if (select.exec() != QDialog::Accepted)
        return;
    m_strServer = select.m_strServer;
    if (m_pOk != nullptr)
        m_pOk->setEnabled(!m_strServer.isEmpty());
    UpdateData(false);
}
