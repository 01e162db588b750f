#pragma once
// The find window: criteria on three tab pages, the look-in tree, Find Now, Stop and New
// Search, the result list and the status bar. It runs the search worker, owns the result
// rows' object references, and collapses itself above the result list until a search runs.

#include "catalog/RegisteredServer.h"
#include "controls/CCommandTarget.h"
#include "findwnd/CCoverageDlg.h"
#include "search/SearchRun.h"

#include <QDialog>
#include <QPointer>
#include <QRect>
#include <QString>
#include <functional>
#include <memory>

class CChkBoxTreeCtrl;
class CComboBoxCtrl;
class CDateEdit;
class CDragGridBox;
class CNumberEdit;
class CPreviewPane;
class CProfile;
class CQuarrowDlgAutoProxy;
class CRegisteredServerStore;
class CSearchWorker;
class CSplitterBar;
class CSnapshotProgressDlg;
class QComboBox;
class QLabel;
class QMenuBar;
class QStatusBar;
class QTabWidget;
class QTimer;
class QTreeWidgetItem;

class CQuarrowDlg : public QDialog, public CCommandTarget
{
    Q_OBJECT
public:
    // Commands, then a word to the user if a write had to set a damaged settings file aside.
    bool OnCmdMsg(int nId, int nCode = 0) override;
    static const QString kEmptyText;   // "No objects found"
    static const QString kFoundSuffix; // " object(s) found"
    static constexpr int kNamedMaxLength = 30;

    // The registrations and ticks live in profile, which must outlive the window.
    explicit CQuarrowDlg(CProfile& profile, QWidget* pParent = nullptr);
    ~CQuarrowDlg() override;

    // Whether the window may close now. While a client holds the automation object it only
    // hides the window (false); otherwise it stops a running search and, while its worker is
    // still recorded, shows the closing notice and then waits for the thread a moment.
    bool QueryClose();

    // The automation object while a client holds it, or null; closing then only hides.
    void SetAutoProxy(CQuarrowDlgAutoProxy* pAutoProxy) { m_pAutoProxy = pAutoProxy; }
    CQuarrowDlgAutoProxy* GetAutoProxy() const { return m_pAutoProxy; }

    // Connects a registered server and adds it with its databases to the look-in tree.
    bool AddServerToTree(const RegisteredServer& server);
    void RemoveServerItem(QTreeWidgetItem* pItem);

    // The rows' object references are released; the rows stay.
    void ClearResults();

    // The object of a result row: its name and creation script. False for a row below 0,
    // a row without an object, or a script the object model refuses.
    bool GetRowObjectScript(int nRow, QString& strName, QString& strScript) const;
    // Writes each chosen row's script to its own file and opens it with the desktop: the
    // selected rows in list order, or the current row when none is selected.
    void ViewSelectedSources();

    // Test seam: runs instead of the registration dialog for New SQL Server Registration.
    void SetNewRegistrationHandler(std::function<void()> fnHandler);

    // State the tests and the search read.
    bool IsCollapsed() const { return m_bCollapsed; }
    bool IsWorkerRecorded() const { return m_bWorkerRecorded; }
    QString GetStatusText() const;
    // The coverage link beside the status text after a search that could not look at
    // everything ("1 database could not be searched, 2 scripts could not be read"); empty
    // when it is hidden. Its tool tip names them; a click opens the details.
    QString GetCoverageText() const;
    QString GetStatusToolTip() const;
    CCoverageDlg* GetCoverageDialog() const { return m_pCoverageDlg; }
    int GetCollapsedHeight() const { return m_nCollapsedHeight; }
    // The expanded window's height: the list's, and the preview's below it when shown.
    int GetFullHeight() const { return m_nFullHeight + PreviewExtraHeight(); }
    int GetInitialWidth() const { return m_nInitialWidth; }
    QRect GetInitialListRect() const { return m_rectInitialList; }
    CChkBoxTreeCtrl* GetLookInTree() const { return m_pLookInTree; }
    CDragGridBox* GetResultList() const { return m_pResultList; }
    CComboBoxCtrl* GetTypeCombo() const { return m_pTypeCombo; }
    QMenuBar* GetMenuBar() const { return m_pMenuBar; }
    QWidget* GetClientArea() const { return m_pClient; }
    // The control of template 107 with this id, or null.
    QWidget* GetControl(int nId) const;
    // The criteria Find Now handed to the last search.
    const SSearchCriteria& GetLastCriteria() const { return m_lastCriteria; }
    int GetLastTypeFilter() const { return m_nLastTypeFilter; }
    // Rows not yet on the list (benchmark probe).
    std::size_t PendingRowCount() const;
    const CSearchWorker* GetSearchWorker() const { return m_pWorker; }
    // The script preview below the result list; hidden while collapsed or turned off.
    CPreviewPane* GetPreview() const { return m_pPreview; }
    CSplitterBar* GetPreviewSplitter() const { return m_pPreviewSplitter; }
    bool IsPreviewShown() const { return m_bPreviewShown; }

    // Test seam: runs instead of showing the closing notice, with the notice's poll.
    using ClosingHook = std::function<void(const std::function<bool()>& fnWorkerRecorded)>;
    static void SetClosingHookForTesting(ClosingHook hook);

Q_SIGNALS:
    // The worker's last step has run (buttons back, count written).
    void searchFinished();

protected:
    void done(int nResult) override;
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    void OnInitDialog();
    // Shows or hides the coverage link; null: nothing to say.
    void SetCoverage(const CSearchCoverage* pCoverage);
    void ShowCoverage();
    void BuildCommandTable();
    void UpdateData(bool bSaveAndValidate);
    void ShowTabPage(int nPage);
    void SetRadio(int nFirstId, int nIndex);
    int GetRadio(int nFirstId) const;
    void SetStatusText(const QString& strText);
    void SetCollapsed(bool bCollapsed);
    // Moves the window up as far as its grown bottom went past the screen's.
    void KeepOnScreen();
    void ApplySizeLimits();
    void LayoutFrame();
    // The result list's column order and widths, kept in the settings once the user changes them.
    void LoadResultColumns();
    void SaveResultColumns();
    // What the preview adds below the list when it is shown: the bar and the pane.
    int PreviewExtraHeight() const;
    void OnTogglePreview();
    // Shows the current row's script in the preview, unless it shows it already.
    void FollowCurrentRow(bool bForce = false);

    // Commands.
    void OnFindNow();
    void OnStop();
    void OnNewSearch();
    void FocusFirstCriterion();
    void OnAllObjects();
    void OnFindCreated();
    void OnCreatedOption(int nMode);
    void OnNewRegistration();
    void OnRemoveServer();
    // Take Snapshot of the selected live server, and the offer to register the file.
    void OnTakeSnapshot();
    void OnSnapshotFinished(bool bWritten, const QString& strError);
    void OnSearchFinished();
    void OnWebCommand(int nId);
    void OnAbout();
    void ViewRowSource(int nRow);
    void SaveTicks();
    // Tells the user, once, that a damaged settings file was set aside and where it is.
    void ReportSetAsideSettings();
    void SaveTicksAndRelease();

    SSearchCriteria TakeCriteria() const;

    CProfile& m_profile;
    std::unique_ptr<CRegisteredServerStore> m_pStore;

    // Criteria fields, exchanged with the controls by UpdateData.
    QString m_strContainingText;
    bool m_bMatchCase = false;
    QString m_strNamed;
    int m_nDateMode = 0;
    int m_nSizeIs = -1;
    int m_nCreatedMode = 0;
    int m_nType = -1;
    bool m_bRegularExpression = false;
    bool m_bNamedLimited = false;

    QWidget* m_pClient = nullptr; // the template's controls lie here
    QMenuBar* m_pMenuBar = nullptr;
    QStatusBar* m_pStatusBar = nullptr;
    QLabel* m_pStatusText = nullptr;
    QLabel* m_pCoverageLink = nullptr;
    QPointer<CCoverageDlg> m_pCoverageDlg;
    QTabWidget* m_pTabCtrl = nullptr;
    QComboBox* m_pSizeCombo = nullptr;
    CChkBoxTreeCtrl* m_pLookInTree = nullptr;
    CDragGridBox* m_pResultList = nullptr;
    CComboBoxCtrl* m_pTypeCombo = nullptr;
    CNumberEdit* m_pEditMonths = nullptr;
    CNumberEdit* m_pEditDays = nullptr;
    CNumberEdit* m_pEditSize = nullptr;
    CDateEdit* m_pEditDateFrom = nullptr;
    CDateEdit* m_pEditDateTo = nullptr;

    CSearchWorker* m_pWorker = nullptr;
    bool m_bWorkerRecorded = false; // m_hWorkerThread: from Find Now to the worker's last step
    bool m_bCollapsed = true;
    bool m_bInitialised = false;
    bool m_bDestroyed = false;
    bool m_bResultColumnsChanged = false; // moved or resized by the user since the start
    CQuarrowDlgAutoProxy* m_pAutoProxy = nullptr;
    QTimer* m_pTickSaveTimer = nullptr; // ticks changed and not yet stored
    CPreviewPane* m_pPreview = nullptr;
    CSplitterBar* m_pPreviewSplitter = nullptr;
    bool m_bPreviewShown = true;
    int m_nPreviewDefaultHeight = 0; // what the pane adds to the full height
    int m_nPreviewHeight = 0;        // as the user dragged it
    int m_nPreviewHeightAtDrag = 0;
    std::weak_ptr<IDatabaseObject> m_pPreviewed; // the object the preview shows or reads

    // Geometry, in the window's own coordinates.
    int m_nInitialWidth = 0;
    int m_nFullHeight = 0;
    int m_nCollapsedHeight = 0;
    int m_nCollapseLine = 0; // in the client area
    QRect m_rectInitialList; // in the client area
    QSize m_sizeInitialClient;

    SSearchCriteria m_lastCriteria;
    int m_nLastTypeFilter = -1;
    std::function<void()> m_fnNewRegistration;
    QPointer<CSnapshotProgressDlg> m_pSnapshotDlg; // while a snapshot is being taken
};
