#pragma once
// The Save As dialog of the export: a non-native file dialog with the export panel below its
// own controls (separators, "Selection only", "Open export file" and, for a collection of
// several columns, the column list with Up, Down, Default and Last export). The panel's
// choices are gathered into the fields when the dialog closes.

#include <QFileDialog>
#include <QString>
#include <QStringList>
#include <map>
#include <vector>

class CComboBoxCtrl;
class CProfile;
class QAbstractButton;
class QListWidget;

class CExportFileDlg : public QFileDialog
{
    Q_OBJECT
public:
    // Display name of a separator -> its characters.
    using SeparatorTable = std::map<QString, QString>;

    // strFilter: pairs of name and patterns, each part ended by '|' ("Text (*.csv)|*.csv||").
    explicit CExportFileDlg(const QString& strFilter, QWidget* pParent = nullptr);
    ~CExportFileDlg() override;

    // The panel template appended below the dialog (34075 or 34215).
    void SetPanelTemplate(int nTemplateId) { m_nPanelTemplate = nTemplateId; }
    int GetPanelTemplate() const { return m_nPanelTemplate; }

    // The settings of the export before this one, from the section below the profile's root.
    void LoadExportSettings(CProfile& profile, const QString& strSection);
    // The choices of this export, written in one go.
    void SaveExportSettings(CProfile& profile, const QString& strSection) const;

    // Builds the panel, shows the dialog modally and answers Accepted or Rejected.
    int DoModal();
    // The chosen file's full path; empty before OK.
    QString GetPathName() const;
    // The file name the dialog starts with (the last export's path).
    const QString& GetInitialFileName() const { return m_strInitialFileName; }

    // Fills the combo box with every display name of the table (it sorts them) and selects
    // the first entry that begins with strName, case-insensitively.
    virtual void FillSeparatorCombo(int nId, const SeparatorTable& separators,
                                    const QString& strName);

    // strCode itself when it is a display name; else the first name whose characters equal
    // strCode; else strCode.
    static QString SeparatorNameForCode(const SeparatorTable& separators, const QString& strCode);
    // Qt name filters from the '|' form. "*.*" means every file, which on Linux is "*".
    static QStringList ParseFilter(const QString& strFilter);

    // The dialog's state, read and set by the export command.
    QString m_strColumnSeparator;            // written between cells
    QString m_strRowSeparator;               // written after each line
    int m_nSelectionOnly = 0;                // -1: not offered; 0: unticked; 1: ticked
    int m_nOpenExportFile = 1;               // 1: open the file once written
    SeparatorTable m_separators;             // the separators the combo boxes offer
    QString m_strColumnSeparatorName;        // entry shown in the column-separator combo box
    QString m_strRowSeparatorName;           // entry shown in the row-separator combo box
    QStringList m_columnTitles;              // the collection's titles, in its order
    QStringList m_chosenColumns;             // ticked titles in list order
    QStringList m_listOrder;                 // every title in list order
    std::vector<unsigned> m_tickedPositions; // list positions of the ticked titles
    int m_nHasColumnList = 0;                // 1 when the collection has more than one column
    QListWidget* m_pColumnList = nullptr;

protected:
    // Gathers the panel's choices (after OK or Cancel) before the dialog goes.
    void done(int nResult) override;

private:
    void OnInitDialog();
    void AttachPanel();
    void FillColumnsDefault();
    void FillColumnsLastExport();
    void AfterColumnsFilled();
    void MoveColumns(int nDelta);
    void UpdateMoveButtons();
    // Enables or disables a panel control; one that is disabled while it has the keyboard
    // focus first hands the focus to the next control.
    void EnableControl(QWidget* pControl, bool bEnable);
    QString ReadSeparator(int nComboId) const;
    void GatherFields();

    QWidget* GetPanelControl(int nId) const;

    int m_nPanelTemplate = 0;
    QString m_strInitialFileName;
    QString m_strPathName;
    QWidget* m_pPanel = nullptr;
    bool m_bMoving = false; // entries are being moved
};
