#include "findwnd/CPreviewPane.h"

#include "findwnd/CPreviewLoader.h"
#include "findwnd/CScriptView.h"
#include "res/CDialogBuilder.h"
#include "res/Resource.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace {

const QString kNothingText = u"Select a result to see its script here."_s;

} // namespace

CPreviewPane::CPreviewPane(QWidget* pParent) : QWidget(pParent)
{
    CDialogBuilder::SetControlId(this, IDC_PREVIEW);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->setSpacing(2);
    auto* pHeader = new QHBoxLayout;
    pHeader->setContentsMargins(0, 0, 0, 0);
    m_pTitle = new QLabel(this);
    m_pTitle->setObjectName(u"previewTitle"_s);
    m_pTitle->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_pTitle->setTextFormat(Qt::PlainText);
    m_pCounter = new QLabel(this);
    m_pCounter->setObjectName(u"previewCounter"_s);
    m_pPrevious = new QPushButton(u"Previous"_s, this);
    CDialogBuilder::SetControlId(m_pPrevious, IDC_PREVIEW_PREVIOUS);
    m_pPrevious->setToolTip(u"Previous match (Shift+F3)"_s);
    m_pPrevious->setAutoDefault(false);
    m_pPrevious->setFocusPolicy(Qt::TabFocus);
    m_pNext = new QPushButton(u"Next"_s, this);
    CDialogBuilder::SetControlId(m_pNext, IDC_PREVIEW_NEXT);
    m_pNext->setToolTip(u"Next match (F3)"_s);
    m_pNext->setAutoDefault(false);
    m_pNext->setFocusPolicy(Qt::TabFocus);
    pHeader->addWidget(m_pTitle, 1);
    pHeader->addWidget(m_pCounter);
    pHeader->addWidget(m_pPrevious);
    pHeader->addWidget(m_pNext);
    pLayout->addLayout(pHeader);
    m_pView = new CScriptView(this);
    CDialogBuilder::SetControlId(m_pView, IDC_PREVIEW_TEXT);
    pLayout->addWidget(m_pView, 1);

    m_pLoader = new CPreviewLoader(
        [this](CPreviewLoader::SResult& result) {
            if (result.m_nSerial != m_nSerial)
                return; // the current row changed while this one was read
            m_bLoading = false;
            m_bMatchesCut = result.m_matches.size() >= CPreviewLoader::kMaxMatches;
            if (!result.m_bScript) {
                ShowMessage(u"The script of this object could not be read."_s);
                m_pCounter->clear();
            } else {
                m_pView->setPlaceholderText(QString());
                m_pView->SetScript(QString::fromStdU16String(result.m_strScript), result.m_matches);
            }
            Q_EMIT loaded();
        },
        this);
    connect(m_pPrevious, &QPushButton::clicked, this, &CPreviewPane::PreviousMatch);
    connect(m_pNext, &QPushButton::clicked, this, &CPreviewPane::NextMatch);
    connect(m_pView, &CScriptView::currentMatchChanged, this, &CPreviewPane::OnMatchChanged);
    ShowNothing();
}

CPreviewPane::~CPreviewPane() = default;

void CPreviewPane::ShowObject(std::shared_ptr<IDatabaseObject> pObject, const QString& strTitle,
                              const std::u16string& strText, bool bRegExp, bool bMatchCase)
{
    ++m_nSerial;
    m_strTitle = strTitle;
    ShowTitle();
    m_bLoading = true;
    ShowMessage(u"Reading the script\u2026"_s);
    CPreviewLoader::SRequest request;
    request.m_nSerial = m_nSerial;
    request.m_pObject = std::move(pObject);
    request.m_strText = strText;
    request.m_bRegExp = bRegExp;
    request.m_bMatchCase = bMatchCase;
    if (!m_pLoader->Request(std::move(request))) {
        m_bLoading = false;
        ShowMessage(u"The script cannot be read now: no thread could be started for it."_s);
        m_pCounter->clear();
        Q_EMIT loaded();
    }
}

void CPreviewPane::ShowNothing()
{
    ++m_nSerial;
    m_bLoading = false;
    m_strTitle.clear();
    ShowTitle();
    ShowMessage(kNothingText);
}

void CPreviewPane::ShowMessage(const QString& strMessage)
{
    m_bMatchesCut = false;
    m_pView->ClearScript();
    m_pView->setPlaceholderText(strMessage);
}

bool CPreviewPane::NextMatch()
{
    return m_pView->NextMatch();
}

bool CPreviewPane::PreviousMatch()
{
    return m_pView->PreviousMatch();
}

QString CPreviewPane::GetCounterText() const
{
    return m_pCounter->text();
}

void CPreviewPane::OnMatchChanged(int nMatch)
{
    const int nCount = m_pView->CountMatches();
    m_pPrevious->setEnabled(nCount > 0);
    m_pNext->setEnabled(nCount > 0);
    if (m_bLoading || m_strTitle.isEmpty())
        m_pCounter->clear();
    else if (nCount == 0)
        m_pCounter->setText(u"No matches"_s);
    else
        m_pCounter->setText(u"Match "_s + QString::number(nMatch + 1) + u" of "_s +
                            QString::number(nCount) + (m_bMatchesCut ? u"+"_s : QString()));
}

void CPreviewPane::ShowTitle()
{
    // Long names are cut in the middle, where server and object both stay readable.
    const int nRoom = std::max(0, m_pTitle->width());
    m_pTitle->setText(m_pTitle->fontMetrics().elidedText(m_strTitle, Qt::ElideMiddle, nRoom));
    m_pTitle->setToolTip(m_strTitle);
}

void CPreviewPane::resizeEvent(QResizeEvent* pEvent)
{
    QWidget::resizeEvent(pEvent);
    ShowTitle();
}
