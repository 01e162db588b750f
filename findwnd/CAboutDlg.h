#pragma once
// The About box: the program icon, the version line, a link to the home page and OK.

#include <QDialog>

class CHyperLink;
class QLabel;

class CAboutDlg : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kLinkId = 1034;
    static constexpr int kVersionId = 1060;

    explicit CAboutDlg(QWidget* pParent = nullptr);
    ~CAboutDlg() override;

    // "Quarrow 3.4.3.2 ##" with every "##" replaced by the build description.
    static QString VersionLine();
    // "Unicode(64bit)" on a 64-bit build.
    static QString BuildDescription();

    CHyperLink* GetLink() const { return m_pLink; }
    QLabel* GetVersionLabel() const { return m_pVersion; }

private:
    CHyperLink* m_pLink = nullptr;
    QLabel* m_pVersion = nullptr;
};
