#include "findwnd/CQuarrowDlg.h"

#include "catalog/CRegisteredServerStore.h"
#include "catalog/CSnapshotLibrary.h"
#include "controls/CComboBoxCtrl.h"
#include "controls/CDateEdit.h"
#include "controls/CDragGridBox.h"
#include "controls/CNumberEdit.h"
#include "controls/CSuperApp.h"
#include "findwnd/CAboutDlg.h"
#include "findwnd/CChkBoxTreeCtrl.h"
#include "findwnd/CClosingDlg.h"
#include "findwnd/CCoverageDlg.h"
#include "findwnd/CExportCollectionHandler.h"
#include "findwnd/CHelpPages.h"
#include "findwnd/CModelessNotifyDlg.h"
#include "findwnd/CNewSQLServerRegistrationDlg.h"
#include "findwnd/CPreviewPane.h"
#include "findwnd/CQuarrowDlgAutoProxy.h"
#include "findwnd/CScriptView.h"
#include "findwnd/CSearchWorker.h"
#include "findwnd/CSnapshotProgressDlg.h"
#include "findwnd/CSplitterBar.h"
#include "findwnd/ProgramIcon.h"
#include "platform/CShell.h"
#include "platform/CTempFiles.h"
#include "platform/Startup.h"
#include "platform/SystemError.h"
#include "platform/Utf.h"
#include "res/CDialogBuilder.h"
#include "res/DialogTemplate.h"
#include "res/MenuTable.h"
#include "res/Resource.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QResizeEvent>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QStringList>
#include <QTabWidget>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <any>
#include <array>
#include <filesystem>

using namespace Qt::StringLiterals;

const QString CQuarrowDlg::kEmptyText = u"No objects found"_s;
const QString CQuarrowDlg::kFoundSuffix = u" object(s) found"_s;

namespace {

CQuarrowDlg::ClosingHook g_closingHook;

// Average character width of the dialog font the result list's column widths were chosen for.
constexpr int kDesignBaseUnitX = 6;
// Entry in the settings section of the result list's column order and widths.
constexpr std::u16string_view kResultColumnsEntry = u"ResultColumns";

// Whether the script preview shows below the result list (1, the default) or not (0).
constexpr std::u16string_view kShowPreviewEntry = u"ShowPreview";
// The preview's first height in lines of its font, and the least either pane keeps when the
// bar between them is dragged.
constexpr int kPreviewLines = 10;
constexpr int kLeastPaneHeight = 48;

// Tick changes are gathered this long before they are stored: a burst of clicks is one write.
constexpr int kTickSaveDelayMs = 500;

// The controls of each tab page.
constexpr std::array<int, 4> kPage0 = {IDC_CONTAINING_LABEL, IDC_CONTAINING_TEXT, IDC_LOOKIN_LABEL,
                                       IDC_LOOKIN_TREE};
constexpr std::array<int, 12> kPage1 = {IDC_ALL_OBJECTS,     IDC_FIND_CREATED, IDC_BETWEEN,
                                        IDC_DATE_FROM,       IDC_AND_LABEL,    IDC_DATE_TO,
                                        IDC_PREVIOUS_MONTHS, IDC_MONTHS,       IDC_MONTHS_LABEL,
                                        IDC_PREVIOUS_DAYS,   IDC_DAYS,         IDC_DAYS_LABEL};
constexpr std::array<int, 10> kPage2 = {
    IDC_TYPE_LABEL, IDC_TYPE, IDC_NAMED_LABEL, IDC_NAMED,      IDC_SIZE_LABEL,
    IDC_SIZE_IS,    IDC_SIZE, IDC_BYTES_LABEL, IDC_MATCH_CASE, IDC_REGULAR_EXPRESSION};

struct STypeEntry
{
    const char16_t* pszText;
    int nCode;
};
// In the order they are added; the sorted combo box puts them in alphabetical order.
constexpr STypeEntry kTypes[] = {
    {u"Default", ObjectType::Default},
    {u"Rule", ObjectType::Rule},
    {u"Stored Procedure", ObjectType::StoredProcedure},
    {u"User Defined Datatype", ObjectType::UserDefinedDatatype},
    {u"User Defined Function", ObjectType::UserDefinedFunction},
    {u"User Table", ObjectType::UserTable},
    {u"Trigger", ObjectType::Trigger},
    {u"View", ObjectType::View},
};

std::shared_ptr<IDatabaseObject> RowObject(const CItemData& data)
{
    if (const auto* pObject = std::any_cast<std::shared_ptr<IDatabaseObject>>(&data))
        return *pObject;
    return nullptr;
}

} // namespace

void CQuarrowDlg::SetClosingHookForTesting(ClosingHook hook)
{
    g_closingHook = std::move(hook);
}

CQuarrowDlg::CQuarrowDlg(CProfile& profile, QWidget* pParent)
    : QDialog(pParent), m_profile(profile),
      m_pStore(std::make_unique<CRegisteredServerStore>(profile))
{
    setObjectName(u"CQuarrowDlg"_s);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);

    const SDialogTemplate* pTemplate = DialogTemplates::Find(IDD_QUARROW_DIALOG);
    m_pClient = new QWidget(this);
    m_pClient->setObjectName(u"client"_s);
    if (pTemplate != nullptr)
        CDialogBuilder().Build(*pTemplate, m_pClient);
    setWindowTitle(pTemplate != nullptr ? QString::fromUtf16(pTemplate->pszCaption) : u"Quarrow"_s);
    m_sizeInitialClient = m_pClient->size();
    if (const SMenuResource* pMenu = MenuTable::Find(IDR_MENU_MAIN))
        m_pMenuBar = MenuBuilder::CreateMenuBar(*pMenu, this);
    else
        m_pMenuBar = new QMenuBar(this);

    m_pWorker = new CSearchWorker(
        [this](std::vector<CSearchWorker::SRow>& rows) {
            // One step per batch: the sorted list places and announces them together.
            std::vector<CCollectionCtrl::SItemLine> lines;
            lines.reserve(rows.size());
            for (CSearchWorker::SRow& row : rows)
                lines.push_back({QString::fromStdU16String(row.m_strText),
                                 CItemData(std::move(row.m_pObject))});
            m_pResultList->LockRedraw();
            m_pResultList->AddItemLines(lines);
            m_pResultList->UnlockRedraw();
        },
        [this](const QString& strText) { SetStatusText(strText); }, this);
    connect(m_pWorker, &CSearchWorker::finished, this, &CQuarrowDlg::OnSearchFinished);

    BuildCommandTable();
    OnInitDialog();
}

CQuarrowDlg::~CQuarrowDlg()
{
    if (m_pAutoProxy != nullptr)
        m_pAutoProxy->SetDialog(nullptr);
    // The worker first: from here on it delivers nothing to this window.
    delete m_pWorker;
    m_pWorker = nullptr;
    SaveResultColumns();
    SaveTicksAndRelease();
}

QWidget* CQuarrowDlg::GetControl(int nId) const
{
    return CDialogBuilder::FindControl(m_pClient, nId);
}

void CQuarrowDlg::BuildCommandTable()
{
    CCommandTable& table = GetCommandTable();
    table.OnCommand(IDC_FIND_NOW, [this] { OnFindNow(); });
    table.OnCommand(IDC_STOP, [this] { OnStop(); });
    table.OnCommand(IDC_NEW_SEARCH, [this] { OnNewSearch(); });
    table.OnCommand(IDC_ALL_OBJECTS, [this] { OnAllObjects(); });
    table.OnCommand(IDC_FIND_CREATED, [this] { OnFindCreated(); });
    table.OnCommand(IDC_BETWEEN, [this] { OnCreatedOption(0); });
    table.OnCommand(IDC_PREVIOUS_MONTHS, [this] { OnCreatedOption(1); });
    table.OnCommand(IDC_PREVIOUS_DAYS, [this] { OnCreatedOption(2); });

    table.OnCommand(ID_NEW_REGISTRATION, [this] {
        if (m_fnNewRegistration)
            m_fnNewRegistration();
        else
            OnNewRegistration();
    });
    table.OnUpdate(ID_NEW_REGISTRATION, [](CCmdUI& cmdUI) { cmdUI.Enable(true); });
    table.OnCommand(ID_REMOVE_SERVER, [this] { OnRemoveServer(); });
    table.OnUpdate(ID_REMOVE_SERVER, [this](CCmdUI& cmdUI) {
        const QList<QTreeWidgetItem*> selected = m_pLookInTree->selectedItems();
        cmdUI.Enable(!selected.isEmpty() && selected.front()->parent() == nullptr);
    });
    table.OnCommand(ID_TAKE_SNAPSHOT, [this] { OnTakeSnapshot(); });
    table.OnUpdate(ID_TAKE_SNAPSHOT, [this](CCmdUI& cmdUI) {
        const QList<QTreeWidgetItem*> selected = m_pLookInTree->selectedItems();
        // A live server only: a snapshot of a snapshot is a copy of the file.
        cmdUI.Enable(m_pSnapshotDlg == nullptr && !selected.isEmpty() &&
                     selected.front()->parent() == nullptr &&
                     !CSnapshotLibrary::IsSnapshotName(
                         CChkBoxTreeCtrl::ServerNameFromItemText(selected.front()->text(0))
                             .toStdU16String()));
    });
    table.OnCommand(ID_VIEW_SOURCE, [this] { ViewSelectedSources(); });
    table.OnUpdate(ID_VIEW_SOURCE,
                   [this](CCmdUI& cmdUI) { cmdUI.Enable(m_pResultList->GetCurrentItem() >= 0); });
    // A double click on a row views its source, as the menu command does.
    table.OnControl(IDC_RESULT_LIST, CControl::kNotifyDblClk, [this] { OnCmdMsg(ID_VIEW_SOURCE); });
    table.OnCommand(ID_EXPORT,
                    [this] { CExportCollectionHandler(m_profile).Export(m_pResultList); });
    table.OnUpdate(ID_EXPORT, [this](CCmdUI& cmdUI) {
        CExportCollectionHandler(m_profile).UpdateCommandUI(cmdUI);
    });

    table.OnCommand(ID_VIEW_PREVIEW, [this] { OnTogglePreview(); });
    table.OnUpdate(ID_VIEW_PREVIEW, [this](CCmdUI& cmdUI) {
        cmdUI.Enable(true);
        cmdUI.SetCheck(m_bPreviewShown ? 1 : 0);
    });
    table.OnCommand(ID_NEXT_MATCH, [this] {
        if (m_pPreview->isVisible())
            m_pPreview->NextMatch();
    });
    table.OnCommand(ID_PREVIOUS_MATCH, [this] {
        if (m_pPreview->isVisible())
            m_pPreview->PreviousMatch();
    });
    for (const int nId : {ID_NEXT_MATCH, ID_PREVIOUS_MATCH})
        table.OnUpdate(nId, [this](CCmdUI& cmdUI) {
            cmdUI.Enable(m_pPreview->isVisible() && m_pPreview->GetView()->CountMatches() > 0);
        });

    table.OnCommand(ID_APP_EXIT, [this] { close(); });
    table.OnCommand(IDM_ABOUTBOX, [this] { OnAbout(); });
    for (const int nId : {ID_WEB_HOME_PAGE, ID_WEB_PRODUCT_NEWS, ID_WEB_FEEDBACK})
        table.OnCommand(nId, [this, nId] { OnWebCommand(nId); });
    for (const int nId : {ID_APP_EXIT, ID_HELP_FINDER, IDM_ABOUTBOX, ID_WEB_HOME_PAGE,
                          ID_WEB_PRODUCT_NEWS, ID_WEB_FEEDBACK})
        table.OnUpdate(nId, [](CCmdUI& cmdUI) { cmdUI.Enable(true); });
}

void CQuarrowDlg::OnInitDialog()
{
    // Controls of the library take the places of the template's.
    m_pLookInTree = new CChkBoxTreeCtrl(m_pClient);
    m_pLookInTree->Attach(IDC_LOOKIN_TREE, m_pClient);
    m_pLookInTree->SetContextMenuId(IDR_MENU_TREE);
    m_pEditSize = new CNumberEdit(m_pClient);
    m_pEditSize->Attach(IDC_SIZE, m_pClient);
    m_pEditMonths = new CNumberEdit(m_pClient);
    m_pEditMonths->Attach(IDC_MONTHS, m_pClient);
    m_pEditDays = new CNumberEdit(m_pClient);
    m_pEditDays->Attach(IDC_DAYS, m_pClient);
    m_pEditDateTo = new CDateEdit(m_pClient);
    m_pEditDateTo->Attach(IDC_DATE_TO, m_pClient);
    m_pEditDateFrom = new CDateEdit(m_pClient);
    m_pEditDateFrom->Attach(IDC_DATE_FROM, m_pClient);

    m_pResultList = new CDragGridBox(m_pClient);
    m_pResultList->Attach(IDC_RESULT_LIST, m_pClient);
    m_pResultList->SetSortAscending(true);
    m_pResultList->SetEmptyText(kEmptyText);
    m_pResultList->SetContextMenuId(IDR_MENU_RESULTS);
    m_pResultList->SetNotifyParent(true);
    m_pResultList->EnableDrag();
    m_pResultList->SetRowScriptSource([this](int nRow, QString& strName, QString& strScript) {
        return GetRowObjectScript(nRow, strName, strScript);
    });

    m_pTypeCombo = new CComboBoxCtrl(m_pClient);
    m_pTypeCombo->Attach(IDC_TYPE, m_pClient);
    m_pTypeCombo->SetSorted(true);
    m_pSizeCombo = qobject_cast<QComboBox*>(GetControl(IDC_SIZE_IS));
    m_pTabCtrl = qobject_cast<QTabWidget*>(GetControl(IDC_TAB));

    UpdateData(false);

    CModelessNotifyDlg notice(this);
    notice.ShowNow();

    m_pStatusBar = new QStatusBar(this);
    CDialogBuilder::SetControlId(m_pStatusBar, IDC_STATUS_BAR);
    m_pStatusBar->setSizeGripEnabled(false);
    m_pStatusBar->setStyleSheet(u"QStatusBar::item { border: 0px; }"_s);
    m_pStatusText = new QLabel(m_pStatusBar);
    m_pStatusText->setObjectName(u"statusText"_s);
    m_pStatusBar->addWidget(m_pStatusText, 1);
    // Beside the count, which keeps its words: what the search could not look at.
    m_pCoverageLink = new QLabel(m_pStatusBar);
    m_pCoverageLink->setObjectName(u"coverageLink"_s);
    m_pCoverageLink->setTextFormat(Qt::RichText);
    m_pCoverageLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse |
                                             Qt::LinksAccessibleByKeyboard);
    m_pCoverageLink->hide();
    connect(m_pCoverageLink, &QLabel::linkActivated, this, &CQuarrowDlg::ShowCoverage);
    m_pStatusBar->addPermanentWidget(m_pCoverageLink);
    SetStatusText(u"Quarrow"_s);

    m_pResultList->SetColumnsLine(u"Server\tDatabase\tType\tObject\tCreation Date"_s);
    // The widths suit a dialog font six pixels wide on average; a wider font widens them, and
    // the date column takes what is left of the list so dates are not cut.
    const int nBaseX = std::max(CDialogBuilder().GetBaseUnitX(), kDesignBaseUnitX);
    const int widths[] = {70, 70, 70, 194};
    for (int i = 0; i < 4; ++i)
        m_pResultList->SetColumnSize(i, widths[i] * nBaseX / kDesignBaseUnitX);
    m_pResultList->header()->setStretchLastSection(true);
    LoadResultColumns();

    // The empty entry (all types) first, with the plain call; the sorted box keeps it first.
    m_pTypeCombo->addItem(QString());
    m_pTypeCombo->SetItemValue(0, CItemData(0));
    for (const STypeEntry& entry : kTypes)
        m_pTypeCombo->AddItem(QString::fromUtf16(entry.pszText), CItemData(entry.nCode));

    if (m_pTabCtrl != nullptr) {
        m_pTabCtrl->addTab(new QWidget, u"Name && Location"_s);
        m_pTabCtrl->addTab(new QWidget, u"Date Modified"_s);
        m_pTabCtrl->addTab(new QWidget, u"Advanced"_s);
        connect(m_pTabCtrl, &QTabWidget::currentChanged, this, &CQuarrowDlg::ShowTabPage);
        ShowTabPage(m_pTabCtrl->currentIndex());
    }
    for (CEditCtrl* pEdit : std::initializer_list<CEditCtrl*>{m_pEditMonths, m_pEditDays,
                                                              m_pEditDateTo, m_pEditDateFrom})
        pEdit->setEnabled(false);

    // Buttons report their clicks as commands.
    const QList<QAbstractButton*> buttons = m_pClient->findChildren<QAbstractButton*>();
    for (QAbstractButton* pButton : buttons) {
        const int nId = CDialogBuilder::GetControlId(pButton);
        if (nId > 0)
            connect(pButton, &QAbstractButton::clicked, this, [this, nId] { OnCmdMsg(nId); });
    }
    auto* pHelp = new QShortcut(QKeySequence::HelpContents, this);
    connect(pHelp, &QShortcut::activated, this,
            [this] { CCommandTarget::SendCommand(this, ID_HELP_FINDER); });

    // The preview below the result list, with the bar that shares the height between them.
    m_pPreviewSplitter = new CSplitterBar(m_pClient);
    CDialogBuilder::SetControlId(m_pPreviewSplitter, IDC_PREVIEW_SPLITTER);
    m_pPreview = new CPreviewPane(m_pClient);
    m_pPreviewSplitter->hide();
    m_pPreview->hide();
    m_bPreviewShown = m_profile.GetProfileInt(kSettingsSection, kShowPreviewEntry, 1) != 0;
    const QFontMetrics metricsFixed(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_nPreviewDefaultHeight =
        m_pPreview->minimumSizeHint().height() + metricsFixed.lineSpacing() * kPreviewLines;
    m_nPreviewHeight = m_nPreviewDefaultHeight;
    connect(m_pPreviewSplitter, &CSplitterBar::dragStarted, this,
            [this] { m_nPreviewHeightAtDrag = m_pPreview->height(); });
    connect(m_pPreviewSplitter, &CSplitterBar::dragged, this, [this](int nDy) {
        m_nPreviewHeight = std::max(kLeastPaneHeight, m_nPreviewHeightAtDrag - nDy);
        LayoutFrame();
    });
    // The list's current row is its selected one, and the focus moves before the selection.
    connect(m_pResultList->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { FollowCurrentRow(); });
    connect(m_pResultList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { FollowCurrentRow(); });
    for (const auto& [key, nId] :
         {std::pair{QKeySequence(Qt::Key_F3), ID_NEXT_MATCH},
          std::pair{QKeySequence(Qt::SHIFT | Qt::Key_F3), ID_PREVIOUS_MATCH}}) {
        auto* pShortcut = new QShortcut(key, this);
        connect(pShortcut, &QShortcut::activated, this,
                [this, nId] { CCommandTarget::SendCommand(this, nId); });
    }

    // The long step: every registered server is connected while the notice is up.
    m_pStore->LoadServerRegistrations(
        [this](const RegisteredServer& server) { AddServerToTree(server); });

    // Ticks are stored soon after they change, in one batch, so that they outlive an
    // abnormal end as well as the window.
    m_pTickSaveTimer = new QTimer(this);
    m_pTickSaveTimer->setSingleShot(true);
    m_pTickSaveTimer->setInterval(kTickSaveDelayMs);
    connect(m_pTickSaveTimer, &QTimer::timeout, this, &CQuarrowDlg::SaveTicks);
    connect(m_pLookInTree, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* pItem) {
        if (pItem->parent() != nullptr && !m_bDestroyed)
            m_pTickSaveTimer->start();
    });

    setWindowIcon(ProgramIcon::Get());

    m_nInitialWidth = m_sizeInitialClient.width();
    const int nMenuHeight = m_pMenuBar->sizeHint().height();
    const int nStatusHeight = m_pStatusBar->sizeHint().height();
    m_nFullHeight = nMenuHeight + m_sizeInitialClient.height() + nStatusHeight;
    m_rectInitialList = m_pResultList->geometry();
    if (m_pTabCtrl != nullptr) {
        const int nTabBottom = m_pTabCtrl->geometry().y() + m_pTabCtrl->geometry().height();
        m_nCollapseLine = nTabBottom + (m_rectInitialList.top() - nTabBottom) / 2;
    } else {
        m_nCollapseLine = m_rectInitialList.top();
    }
    // The status bar belongs to the list: the collapsed window has none, so no empty strip.
    m_nCollapsedHeight = nMenuHeight + m_nCollapseLine;
    m_bInitialised = true;
    m_bCollapsed = false;
    ApplySizeLimits();
    resize(m_nInitialWidth, GetFullHeight());
    LayoutFrame();

    OnNewSearch();

    if (m_pLookInTree->topLevelItemCount() == 0)
        CCommandTarget::PostCommand(this, ID_NEW_REGISTRATION);
    // A damaged settings file is named once the window is up; what read cleanly is in use.
    QMetaObject::invokeMethod(
        this,
        [this] {
            const std::string strProblem = m_profile.GetStore().GetFileProblem();
            if (!strProblem.empty() && !m_bDestroyed)
                CSuperApp::MessageBox(
                    u"The settings file "_s +
                        QString::fromStdString(m_profile.GetStore().GetFilePath().string()) +
                        u" is damaged ("_s + QString::fromStdString(strProblem) +
                        u"). Quarrow uses every part it could read; the file is kept "
                        u"unchanged beside it at the next change of settings."_s,
                    CSuperApp::EIcon::Warning);
        },
        Qt::QueuedConnection);
    notice.hide();
}

void CQuarrowDlg::SetNewRegistrationHandler(std::function<void()> fnHandler)
{
    m_fnNewRegistration = std::move(fnHandler);
}

bool CQuarrowDlg::AddServerToTree(const RegisteredServer& server)
{
    return m_pLookInTree->AddServerToTree(
        server,
        [this](const std::u16string& strServer, const std::u16string& strDatabase) {
            return m_pStore->IsDatabaseUsed(strServer, strDatabase);
        },
        [this] { repaint(); });
}

void CQuarrowDlg::RemoveServerItem(QTreeWidgetItem* pItem)
{
    m_pLookInTree->RemoveServerItem(pItem);
}

// --- Data exchange ------------------------------------------------------------------------

int CQuarrowDlg::GetRadio(int nFirstId) const
{
    const QButtonGroup* pGroup = CDialogBuilder::FindRadioGroup(m_pClient, nFirstId);
    if (pGroup == nullptr)
        return -1;
    const QList<QAbstractButton*> buttons = pGroup->buttons();
    for (int i = 0; i < buttons.size(); ++i) {
        if (buttons[i]->isChecked())
            return i;
    }
    return -1;
}

void CQuarrowDlg::SetRadio(int nFirstId, int nIndex)
{
    QButtonGroup* pGroup = CDialogBuilder::FindRadioGroup(m_pClient, nFirstId);
    if (pGroup == nullptr)
        return;
    const QList<QAbstractButton*> buttons = pGroup->buttons();
    // An exclusive group cannot be left without a checked button otherwise.
    pGroup->setExclusive(false);
    for (int i = 0; i < buttons.size(); ++i)
        buttons[i]->setChecked(i == nIndex);
    pGroup->setExclusive(true);
}

void CQuarrowDlg::UpdateData(bool bSaveAndValidate)
{
    auto* pContaining = qobject_cast<QLineEdit*>(GetControl(IDC_CONTAINING_TEXT));
    auto* pNamed = qobject_cast<QLineEdit*>(GetControl(IDC_NAMED));
    auto* pMatchCase = qobject_cast<QCheckBox*>(GetControl(IDC_MATCH_CASE));
    auto* pRegExp = qobject_cast<QCheckBox*>(GetControl(IDC_REGULAR_EXPRESSION));
    if (bSaveAndValidate) {
        m_strContainingText = pContaining != nullptr ? pContaining->text() : QString();
        m_bMatchCase = pMatchCase != nullptr && pMatchCase->isChecked();
        m_strNamed = pNamed != nullptr ? pNamed->text() : QString();
        m_nDateMode = GetRadio(IDC_ALL_OBJECTS);
        m_nSizeIs = m_pSizeCombo != nullptr ? m_pSizeCombo->currentIndex() : -1;
        m_nCreatedMode = GetRadio(IDC_BETWEEN);
        m_nType = m_pTypeCombo->currentIndex();
        m_bRegularExpression = pRegExp != nullptr && pRegExp->isChecked();
        return;
    }
    if (pContaining != nullptr)
        pContaining->setText(m_strContainingText);
    if (pMatchCase != nullptr)
        pMatchCase->setChecked(m_bMatchCase);
    if (pNamed != nullptr) {
        if (!m_bNamedLimited) {
            pNamed->setMaxLength(kNamedMaxLength);
            m_bNamedLimited = true;
        }
        pNamed->setText(m_strNamed);
    }
    SetRadio(IDC_ALL_OBJECTS, m_nDateMode);
    if (m_pSizeCombo != nullptr)
        m_pSizeCombo->setCurrentIndex(m_nSizeIs);
    SetRadio(IDC_BETWEEN, m_nCreatedMode);
    m_pTypeCombo->setCurrentIndex(m_nType);
    if (pRegExp != nullptr)
        pRegExp->setChecked(m_bRegularExpression);
}

void CQuarrowDlg::ShowTabPage(int nPage)
{
    const auto show = [this](auto ids, bool bShow) {
        for (const int nId : ids) {
            if (QWidget* pControl = GetControl(nId))
                pControl->setVisible(bShow);
        }
    };
    show(kPage0, nPage == 0);
    show(kPage1, nPage == 1);
    show(kPage2, nPage == 2);
}

// --- Status bar and geometry --------------------------------------------------------------

QString CQuarrowDlg::GetStatusText() const
{
    return m_pStatusText != nullptr ? m_pStatusText->text() : QString();
}

void CQuarrowDlg::SetStatusText(const QString& strText)
{
    if (m_pStatusText != nullptr)
        m_pStatusText->setText(strText);
    // The coverage belongs to the count it came with only.
    SetCoverage(nullptr);
}

QString CQuarrowDlg::GetStatusToolTip() const
{
    return m_pCoverageLink != nullptr ? m_pCoverageLink->toolTip() : QString();
}

QString CQuarrowDlg::GetCoverageText() const
{
    if (m_pCoverageLink == nullptr || m_pCoverageLink->isHidden())
        return QString();
    QTextDocument document;
    document.setHtml(m_pCoverageLink->text());
    return document.toPlainText();
}

void CQuarrowDlg::SetCoverage(const CSearchCoverage* pCoverage)
{
    if (m_pCoverageLink == nullptr)
        return;
    if (pCoverage == nullptr || pCoverage->IsComplete()) {
        m_pCoverageLink->hide();
        m_pCoverageLink->clear();
        m_pCoverageLink->setToolTip(QString());
        // Open details stay open, empty, until the next search fills them again.
        if (m_pCoverageDlg)
            m_pCoverageDlg->SetCoverage(CSearchCoverage());
        return;
    }
    m_pCoverageLink->setText(u"<a href=\"#coverage\">"_s +
                             QString::fromStdU16String(pCoverage->Summary()).toHtmlEscaped() +
                             u"</a>"_s);
    // The tool tip names the first few; the details hold them all.
    constexpr std::size_t kTipLines = 15;
    QStringList lines;
    const auto& items = pCoverage->GetItems();
    for (std::size_t i = 0; i < items.size() && i < kTipLines; ++i)
        lines << QString::fromStdU16String(CSearchCoverage::Describe(items[i]));
    if (items.size() > kTipLines)
        lines << u"and "_s + QString::number(items.size() - kTipLines) +
                     u" more; click for the details"_s;
    m_pCoverageLink->setToolTip(lines.join(u'\n'));
    m_pCoverageLink->show();
    if (m_pCoverageDlg)
        m_pCoverageDlg->SetCoverage(*pCoverage);
}

void CQuarrowDlg::ShowCoverage()
{
    if (!m_pCoverageDlg)
        m_pCoverageDlg = new CCoverageDlg(this);
    m_pCoverageDlg->SetCoverage(m_pWorker->GetCoverage());
    m_pCoverageDlg->show();
    m_pCoverageDlg->raise();
    m_pCoverageDlg->activateWindow();
}

void CQuarrowDlg::ApplySizeLimits()
{
    if (!m_bInitialised)
        return;
    if (m_bCollapsed) {
        setMinimumSize(m_nInitialWidth, m_nCollapsedHeight);
        setMaximumSize(QWIDGETSIZE_MAX, m_nCollapsedHeight);
    } else {
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        setMinimumSize(m_nInitialWidth, GetFullHeight());
    }
}

void CQuarrowDlg::SetCollapsed(bool bCollapsed)
{
    m_bCollapsed = bCollapsed;
    ApplySizeLimits();
    resize(width(), bCollapsed ? m_nCollapsedHeight : GetFullHeight());
    LayoutFrame();
    if (!bCollapsed) {
        KeepOnScreen();
        repaint();
    }
}

void CQuarrowDlg::KeepOnScreen()
{
    // Opening downwards (the more so with the preview) can take the status bar off a small
    // screen; the top never goes above the screen's own.
    const QScreen* pScreen = screen();
    if (pScreen == nullptr || !isVisible() || isMaximized() || isFullScreen())
        return;
    const QRect available = pScreen->availableGeometry();
    const QRect frame = frameGeometry();
    const int nUp = std::min(frame.bottom() - available.bottom(), frame.top() - available.top());
    if (nUp > 0)
        move(pos().x(), pos().y() - nUp);
}

void CQuarrowDlg::LayoutFrame()
{
    if (m_pMenuBar == nullptr || m_pStatusBar == nullptr)
        return;
    const int cx = width();
    const int cy = height();
    const int nMenuHeight = m_pMenuBar->sizeHint().height();
    const bool bStatusShown = !m_bInitialised || !m_bCollapsed;
    m_pStatusBar->setVisible(bStatusShown);
    const int nStatusHeight = bStatusShown ? m_pStatusBar->sizeHint().height() : 0;
    m_pMenuBar->setGeometry(0, 0, cx, nMenuHeight);
    m_pClient->setGeometry(0, nMenuHeight, cx, std::max(0, cy - nMenuHeight - nStatusHeight));
    m_pStatusBar->setGeometry(0, cy - nStatusHeight, cx, nStatusHeight);
    if (QWidget* pLine = GetControl(IDC_SEPARATOR_LINE))
        pLine->setGeometry(pLine->x(), pLine->y(), cx, 2);
    const bool bPreview = m_bInitialised && !m_bCollapsed && m_bPreviewShown;
    if (m_pPreview != nullptr) {
        m_pPreview->setVisible(bPreview);
        m_pPreviewSplitter->setVisible(bPreview);
    }
    if (m_bInitialised && !m_bCollapsed) {
        // The list grows by as much as the window grows; the preview keeps the height the
        // user gave it, as far as the list keeps some room.
        const int nWidth = m_rectInitialList.width() + cx - m_nInitialWidth;
        const int nStack = m_rectInitialList.height() + cy - GetFullHeight() + PreviewExtraHeight();
        int nListHeight = nStack;
        if (bPreview) {
            const int nRoom = nStack - CSplitterBar::kHeight - kLeastPaneHeight;
            const int nPane = std::max(std::min(m_nPreviewHeight, nRoom), kLeastPaneHeight);
            nListHeight = nStack - CSplitterBar::kHeight - nPane;
            const int nBarTop = m_rectInitialList.y() + nListHeight;
            m_pPreviewSplitter->setGeometry(m_rectInitialList.x(), nBarTop, nWidth,
                                            CSplitterBar::kHeight);
            m_pPreview->setGeometry(m_rectInitialList.x(), nBarTop + CSplitterBar::kHeight, nWidth,
                                    nPane);
        }
        m_pResultList->setGeometry(m_rectInitialList.x(), m_rectInitialList.y(), nWidth,
                                   nListHeight);
    }
}

int CQuarrowDlg::PreviewExtraHeight() const
{
    return m_bPreviewShown ? CSplitterBar::kHeight + m_nPreviewDefaultHeight : 0;
}

void CQuarrowDlg::OnTogglePreview()
{
    const int nExtraBefore = PreviewExtraHeight();
    m_bPreviewShown = !m_bPreviewShown;
    m_profile.WriteProfileInt(kSettingsSection, kShowPreviewEntry, m_bPreviewShown ? 1 : 0);
    if (m_bCollapsed) {
        LayoutFrame();
        return;
    }
    // The window gives up or takes the preview's height; the list keeps what it had.
    const int nHeight = std::max(height() - nExtraBefore + PreviewExtraHeight(), GetFullHeight());
    ApplySizeLimits();
    resize(width(), nHeight);
    LayoutFrame();
    KeepOnScreen();
    FollowCurrentRow(true);
}

void CQuarrowDlg::FollowCurrentRow(bool bForce)
{
    if (m_pPreview == nullptr || !m_pPreview->isVisible())
        return;
    const int nRow = m_pResultList->GetCurrentItem();
    CItemData data;
    std::shared_ptr<IDatabaseObject> pObject;
    if (nRow >= 0 && m_pResultList->GetItemValue(nRow, data))
        pObject = RowObject(data);
    // Rows sorted in around the current one move it, but do not change what it shows.
    if (!bForce && pObject == m_pPreviewed.lock() && (pObject || m_pPreview->GetTitle().isEmpty()))
        return;
    m_pPreviewed = pObject;
    if (!pObject) {
        m_pPreview->ShowNothing();
        return;
    }
    QStringList cells;
    m_pResultList->GetItemCells(nRow, cells);
    // Server, database, object and its type, as the row has them.
    QString strTitle =
        cells.value(0) + u" \u00b7 "_s + cells.value(1) + u" \u00b7 "_s + cells.value(3);
    if (!cells.value(2).isEmpty())
        strTitle += u" ("_s + cells.value(2) + u')';
    m_pPreview->ShowObject(std::move(pObject), strTitle, m_lastCriteria.m_strContainingText,
                           m_lastCriteria.m_bRegularExpression, m_lastCriteria.m_bMatchCase);
}

void CQuarrowDlg::LoadResultColumns()
{
    // A value that does not fit the columns is passed over: the first-run widths stay.
    const std::u16string strLayout =
        m_profile.GetProfileString(kSettingsSection, kResultColumnsEntry);
    if (!strLayout.empty())
        m_pResultList->SetColumnLayout(QString::fromStdU16String(strLayout));
    // Only what the user does is kept; the last column follows the list's width by itself.
    QHeaderView* pHeader = m_pResultList->header();
    connect(pHeader, &QHeaderView::sectionMoved, this, [this] { m_bResultColumnsChanged = true; });
    connect(pHeader, &QHeaderView::sectionResized, this, [this, pHeader](int nColumn) {
        if (pHeader->visualIndex(nColumn) < pHeader->count() - 1)
            m_bResultColumnsChanged = true;
    });
}

void CQuarrowDlg::SaveResultColumns()
{
    if (!m_bResultColumnsChanged || m_pResultList == nullptr)
        return;
    m_bResultColumnsChanged = false;
    m_profile.WriteProfileString(kSettingsSection, kResultColumnsEntry,
                                 m_pResultList->GetColumnLayout().toStdU16String());
}

void CQuarrowDlg::resizeEvent(QResizeEvent* pEvent)
{
    QDialog::resizeEvent(pEvent);
    LayoutFrame();
}

// --- Commands -----------------------------------------------------------------------------

SSearchCriteria CQuarrowDlg::TakeCriteria() const
{
    SSearchCriteria criteria;
    criteria.m_strNamed = m_strNamed.toStdU16String();
    criteria.m_strContainingText = m_strContainingText.toStdU16String();
    criteria.m_bMatchCase = m_bMatchCase;
    criteria.m_bRegularExpression = m_bRegularExpression;
    criteria.m_nDateMode = m_nDateMode;
    criteria.m_nCreatedMode = m_nCreatedMode;
    criteria.m_nSizeIs = m_nSizeIs;
    CDate date;
    if (m_pEditDateFrom->GetDate(date))
        criteria.m_dateFrom = date;
    if (m_pEditDateTo->GetDate(date))
        criteria.m_dateTo = date;
    double dValue = 0;
    if (m_pEditMonths->GetNumber(dValue))
        criteria.m_months = dValue;
    if (m_pEditDays->GetNumber(dValue))
        criteria.m_days = dValue;
    criteria.m_strSize = m_pEditSize->text().toStdU16String();
    return criteria;
}

void CQuarrowDlg::OnFindNow()
{
    // One worker at a time: the button goes grey at once, before the worker starts.
    if (m_bWorkerRecorded || m_pWorker->IsRunning())
        return;
    QWidget* pFindNow = GetControl(IDC_FIND_NOW);
    QWidget* pStop = GetControl(IDC_STOP);
    const bool bFindNowWasEnabled = pFindNow->isEnabled();
    const bool bStopWasEnabled = pStop->isEnabled();
    pFindNow->setEnabled(false);

    if (m_bCollapsed)
        SetCollapsed(false);
    UpdateData(true);
    ClearResults();
    m_pResultList->RemoveAllItems();
    FollowCurrentRow(true);

    int nTypeFilter = -1;
    CItemData typeData;
    if (m_pTypeCombo->currentIndex() >= 0 &&
        m_pTypeCombo->GetItemValue(m_pTypeCombo->currentIndex(), typeData)) {
        const int* pCode = std::any_cast<int>(&typeData);
        nTypeFilter = pCode != nullptr ? *pCode : 0;
    }
    m_lastCriteria = TakeCriteria();
    m_nLastTypeFilter = nTypeFilter;
    if (!m_pWorker->Start(m_lastCriteria, m_pLookInTree->GetTickedDatabases(), nTypeFilter)) {
        pFindNow->setEnabled(bFindNowWasEnabled);
        pStop->setEnabled(bStopWasEnabled);
        return;
    }
    m_bWorkerRecorded = true;
    pStop->setEnabled(true);
}

void CQuarrowDlg::OnSearchFinished()
{
    if (QWidget* pStop = GetControl(IDC_STOP))
        pStop->setEnabled(false);
    if (QWidget* pFindNow = GetControl(IDC_FIND_NOW))
        pFindNow->setEnabled(true);
    // The rows stay as found; what could not be searched is named beside the count.
    SetStatusText(QString::number(m_pResultList->CountItems()) + kFoundSuffix);
    SetCoverage(&m_pWorker->GetCoverage());
    m_bWorkerRecorded = false;
    Q_EMIT searchFinished();
}

void CQuarrowDlg::OnStop()
{
    m_pWorker->RequestStop();
}

void CQuarrowDlg::OnNewSearch()
{
    OnStop();
    SetStatusText(QString());
    if (m_pCoverageDlg)
        m_pCoverageDlg->close();
    SetCollapsed(true);
    m_strNamed.clear();
    m_nType = 0;
    m_strContainingText.clear();
    m_nSizeIs = 0;
    m_pEditSize->Clear();
    m_bMatchCase = false;
    m_bRegularExpression = false;
    m_nDateMode = 0;
    m_nCreatedMode = 0;
    m_pEditDateTo->Clear();
    m_pEditDateFrom->Clear();
    m_pEditMonths->Clear();
    m_pEditDays->Clear();
    for (CEditCtrl* pEdit : std::initializer_list<CEditCtrl*>{m_pEditMonths, m_pEditDays,
                                                              m_pEditDateTo, m_pEditDateFrom})
        pEdit->setEnabled(false);
    UpdateData(false);
    FocusFirstCriterion();
}

void CQuarrowDlg::FocusFirstCriterion()
{
    // Typing goes to the first criterion a person sees, never to the hidden result list.
    if (m_pTabCtrl != nullptr)
        m_pTabCtrl->setCurrentIndex(0);
    if (QWidget* pContaining = GetControl(IDC_CONTAINING_TEXT))
        pContaining->setFocus(Qt::OtherFocusReason);
}

void CQuarrowDlg::OnAllObjects()
{
    for (CEditCtrl* pEdit : std::initializer_list<CEditCtrl*>{m_pEditMonths, m_pEditDays,
                                                              m_pEditDateTo, m_pEditDateFrom})
        pEdit->setEnabled(false);
}

void CQuarrowDlg::OnFindCreated()
{
    OnCreatedOption(m_nCreatedMode >= 0 && m_nCreatedMode <= 2 ? m_nCreatedMode : 0);
}

void CQuarrowDlg::OnCreatedOption(int nMode)
{
    m_nDateMode = 1;
    m_nCreatedMode = nMode;
    m_pEditDateFrom->setEnabled(nMode == 0);
    m_pEditDateTo->setEnabled(nMode == 0);
    m_pEditMonths->setEnabled(nMode == 1);
    m_pEditDays->setEnabled(nMode == 2);
    // Only the option buttons follow the choice; text typed elsewhere stays as it is.
    SetRadio(IDC_ALL_OBJECTS, m_nDateMode);
    SetRadio(IDC_BETWEEN, m_nCreatedMode);
}

void CQuarrowDlg::OnNewRegistration()
{
    CNewSQLServerRegistrationDlg dlg(this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    RegisteredServer server;
    server.m_strServerName =
        CRegisteredServerStore::ServerNameFromKey(dlg.m_strServer.toStdU16String());
    server.m_strLoginName = dlg.m_strLoginName.toStdU16String();
    server.m_strPassword = dlg.m_strPassword.toStdU16String();
    server.m_nNTAuthentication =
        dlg.m_nAuthentication == CNewSQLServerRegistrationDlg::kWindowsAuthentication ? 1 : 0;
    server.m_encryption = static_cast<EEncryptionMode>(dlg.m_nEncryption);
    server.m_bTrustServerCertificate = dlg.m_bTrustServerCertificate;
    // A server that does not answer stays in the tree for this run but is not registered.
    if (!AddServerToTree(server) || m_pStore->SaveServerRegistration(server))
        return;
    // Connected but not kept: without a word the server would be gone at the next start.
    const QString strReason = QString::fromStdString(m_profile.GetStore().GetLastError());
    CSuperApp::MessageBox(u"The registration of "_s +
                              QString::fromStdU16String(server.m_strServerName) +
                              u" could not be saved.\n"_s + strReason,
                          CSuperApp::EIcon::Error);
}

void CQuarrowDlg::OnRemoveServer()
{
    const QList<QTreeWidgetItem*> selected = m_pLookInTree->selectedItems();
    if (selected.isEmpty() || selected.front()->parent() != nullptr)
        return;
    QTreeWidgetItem* pItem = selected.front();
    const QString strServer = CChkBoxTreeCtrl::ServerNameFromItemText(pItem->text(0));
    m_pStore->DeleteServerRegistration(strServer.toStdU16String());
    RemoveServerItem(pItem);
}

void CQuarrowDlg::OnTakeSnapshot()
{
    const QList<QTreeWidgetItem*> selected = m_pLookInTree->selectedItems();
    if (m_pSnapshotDlg != nullptr || selected.isEmpty() || selected.front()->parent() != nullptr)
        return;
    const QString strServer = CChkBoxTreeCtrl::ServerNameFromItemText(selected.front()->text(0));
    SSnapshotRequest request;
    request.m_strServer = strServer.toStdU16String();
    // The login the server is registered with.
    for (const RegisteredServer& server : m_pStore->GetServerRegistrations()) {
        if (server.m_strServerName == request.m_strServer) {
            request.m_login.m_bIntegrated = server.m_nNTAuthentication != 0;
            request.m_login.m_strLogin = server.m_strLoginName;
            request.m_login.m_strPassword = server.m_strPassword;
            request.m_login.m_connect = server.GetConnectOptions();
        }
    }
    const QString strFile = CSnapshotProgressDlg::AskFileName(this, strServer);
    if (strFile.isEmpty())
        return;
    request.m_strPath = QFile::encodeName(strFile).toStdString();
    m_pSnapshotDlg = new CSnapshotProgressDlg(std::move(request), this);
    m_pSnapshotDlg->setAttribute(Qt::WA_DeleteOnClose, false);
    connect(m_pSnapshotDlg, &CSnapshotProgressDlg::snapshotFinished, this,
            &CQuarrowDlg::OnSnapshotFinished);
    m_pSnapshotDlg->Start();
}

void CQuarrowDlg::OnSnapshotFinished(bool bWritten, const QString& strError)
{
    if (m_pSnapshotDlg == nullptr)
        return;
    const SSnapshotReport report = m_pSnapshotDlg->GetReport();
    const QString strFile = QFile::decodeName(m_pSnapshotDlg->GetRequest().m_strPath.c_str());
    const QString strServer = QString::fromStdU16String(m_pSnapshotDlg->GetRequest().m_strServer);
    m_pSnapshotDlg->deleteLater();
    m_pSnapshotDlg = nullptr;
    if (!bWritten) {
        if (!strError.isEmpty())
            CSuperApp::MessageBox(u"The snapshot of "_s + strServer + u" was not taken: "_s +
                                      strError,
                                  CSuperApp::EIcon::Error);
        return;
    }
    QString strText = u"The snapshot of "_s + strServer + u" was written to "_s + strFile +
                      u" ("_s + QString::number(report.m_nObjects) + u" objects)."_s;
    for (const auto& unreadable : report.m_unreadable)
        strText += u"\nDatabase "_s + QString::fromStdU16String(unreadable.m_strDatabase) +
                   u" could not be read: "_s + QString::fromStdU16String(unreadable.m_strReason);
    strText += u"\n\nRegister the snapshot in the look-in tree?"_s;
    if (CSuperApp::AskYesNo(strText) != QMessageBox::Yes)
        return;
    // A file in the user's catalogue folder goes by its bare name, as the snapshot library
    // looks there; any other by its path.
    RegisteredServer server;
    const QFileInfo info(strFile);
    const QString strFolder = QString::fromStdString(CSnapshotLibrary::GetUserFolder());
    server.m_strServerName =
        (QFileInfo(strFolder).canonicalFilePath() == info.canonicalPath() ? info.fileName()
                                                                          : info.absoluteFilePath())
            .toStdU16String();
    server.m_nNTAuthentication = 1;
    if (AddServerToTree(server) && !m_pStore->SaveServerRegistration(server))
        CSuperApp::MessageBox(u"The registration of "_s +
                                  QString::fromStdU16String(server.m_strServerName) +
                                  u" could not be saved.\n"_s +
                                  QString::fromStdString(m_profile.GetStore().GetLastError()),
                              CSuperApp::EIcon::Error);
}

void CQuarrowDlg::OnWebCommand(int nId)
{
    CHelpPages::EPage page = CHelpPages::EPage::Contents;
    if (nId == ID_WEB_PRODUCT_NEWS)
        page = CHelpPages::EPage::News;
    else if (nId == ID_WEB_FEEDBACK)
        page = CHelpPages::EPage::Feedback;
    // The result is not reported, as for every web command.
    CShell::Open(CHelpPages::Address(page).toStdU16String());
}

void CQuarrowDlg::OnAbout()
{
    CAboutDlg about(this);
    about.exec();
}

void CQuarrowDlg::ClearResults()
{
    for (int i = 0; i < m_pResultList->CountItems(); ++i) {
        CItemData data;
        if (!m_pResultList->GetItemValue(i, data))
            continue;
        m_pResultList->SetItemValue(i, CItemData());
        // data goes out of scope here: the row's reference is released.
    }
}

// --- Viewing sources ----------------------------------------------------------------------

bool CQuarrowDlg::GetRowObjectScript(int nRow, QString& strName, QString& strScript) const
{
    if (nRow < 0)
        return false;
    CItemData data;
    if (!m_pResultList->GetItemValue(nRow, data))
        return false;
    const std::shared_ptr<IDatabaseObject> pObject = RowObject(data);
    if (!pObject)
        return false;
    std::u16string script;
    if (!pObject->Script(script))
        return false;
    std::u16string name;
    pObject->GetName(name);
    strName = QString::fromStdU16String(name);
    strScript = QString::fromStdU16String(script);
    return true;
}

void CQuarrowDlg::ViewSelectedSources()
{
    std::vector<int> rows;
    if (m_pResultList->GetSelectedItems(rows) == 0) {
        const int nCurrent = m_pResultList->GetCurrentItem();
        if (nCurrent < 0)
            return;
        rows.push_back(nCurrent);
    }
    CWaitCursor wait;
    for (int nRow : rows)
        ViewRowSource(nRow);
}

void CQuarrowDlg::ViewRowSource(int nRow)
{
    QString strName;
    QString strScript;
    if (!GetRowObjectScript(nRow, strName, strScript))
        return;
    std::string strPath;
    int nError = 0;
    if (!CTempFiles::WriteScriptFile(strName.toStdU16String(), strScript.toStdU16String(), strPath,
                                     nError)) {
        CSuperApp::MessageBox(QString::fromStdU16String(SystemErrorText(nError)),
                              CSuperApp::EIcon::Error);
        return;
    }
    const int nResult = CShell::Open(quarrow::FromUtf8(strPath));
    if (nResult <= 32)
        CSuperApp::MessageBox(QString::fromStdU16String(CShell::LinkErrorText(nResult)),
                              CSuperApp::EIcon::Error);
}

std::size_t CQuarrowDlg::PendingRowCount() const
{
    return m_pWorker != nullptr ? m_pWorker->PendingRowCount() : 0;
}

// --- Closing ------------------------------------------------------------------------------

bool CQuarrowDlg::QueryClose()
{
    // A client holding the automation object keeps the program; the window only hides.
    if (m_pAutoProxy != nullptr) {
        hide();
        return false;
    }
    m_pWorker->RequestStop();
    if (!m_bWorkerRecorded)
        return true;
    // Rows still on their way would only hold the window up.
    m_pWorker->DropPendingRows();
    const std::function<bool()> fnWorkerRecorded = [this] { return m_bWorkerRecorded; };
    if (g_closingHook) {
        g_closingHook(fnWorkerRecorded);
    } else {
        CClosingDlg closing(fnWorkerRecorded, this);
        closing.exec();
    }
    m_pWorker->WaitForThread(std::chrono::milliseconds(1000));
    return true;
}

void CQuarrowDlg::done(int nResult)
{
    if (!QueryClose())
        return;
    QDialog::done(nResult);
}

void CQuarrowDlg::SaveTicks()
{
    if (m_pLookInTree == nullptr)
        return;
    if (m_pTickSaveTimer != nullptr)
        m_pTickSaveTimer->stop();
    std::vector<CRegisteredServerStore::SDatabaseTick> ticks;
    for (const CChkBoxTreeCtrl::STick& tick : m_pLookInTree->GetAllTicks())
        ticks.push_back({tick.m_strServerName, tick.m_strDatabaseName, tick.m_nUsed});
    if (!ticks.empty())
        m_pStore->SetDatabasesUsed(ticks);
    ReportSetAsideSettings();
}

void CQuarrowDlg::ReportSetAsideSettings()
{
    // Only a write sets a damaged file aside; the window says so while it is there to see.
    if (m_bDestroyed || !isVisible())
        return;
    const std::filesystem::path copy = m_profile.GetStore().TakeSetAsideCopy();
    if (copy.empty())
        return;
    CSuperApp::MessageBox(
        u"The settings file was damaged. Quarrow kept every part it could read; the damaged "
        u"file is kept unchanged as:\n"_s +
            QString::fromStdString(copy.string()),
        CSuperApp::EIcon::Warning);
}

bool CQuarrowDlg::OnCmdMsg(int nId, int nCode)
{
    const bool bHandled = CCommandTarget::OnCmdMsg(nId, nCode);
    // Registrations, removals and exports write settings.
    ReportSetAsideSettings();
    return bHandled;
}

void CQuarrowDlg::SaveTicksAndRelease()
{
    if (m_bDestroyed || m_pLookInTree == nullptr)
        return;
    SaveTicks();
    m_bDestroyed = true;
    ClearResults();
    while (m_pLookInTree->topLevelItemCount() > 0)
        RemoveServerItem(m_pLookInTree->topLevelItem(0));
}
