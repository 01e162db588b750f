#include "controls/CDragGridBox.h"

#include "controls/CSuperApp.h"

#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>

CDragGridBox::CDragGridBox(QWidget* parent) : CCellGridBox(parent)
{
    // Pressing a selected row keeps the selection until the button is released, and moving
    // the pressed row does not extend the selection.
    setDragEnabled(true);
}

CDragGridBox::~CDragGridBox() = default;

void CDragGridBox::EnableDrag()
{
    if (m_bDragEnabled)
        return;
    m_bDragEnabled = true;
    viewport()->setCursor(Qt::ArrowCursor);
}

int CDragGridBox::AddItem(const QString& strText, CItemData data)
{
    const bool bWasEmpty = CountItems() == 0;
    const int nRow = CCellGridBox::AddItem(strText, std::move(data));
    if (bWasEmpty)
        viewport()->update();
    return nRow;
}

QString CDragGridBox::GetDragText() const
{
    if (!m_scriptSource)
        return {};
    std::vector<int> rows;
    GetSelectedItems(rows);
    QStringList scripts;
    for (int nRow : rows) {
        QString strName;
        QString strScript;
        if (m_scriptSource(nRow, strName, strScript))
            scripts.append(strScript);
    }
    return scripts.join(QStringLiteral("\r\n"));
}

std::unique_ptr<QMimeData> CDragGridBox::CreateDragData() const
{
    QString strText;
    {
        CWaitCursor wait;
        strText = GetDragText();
    }
    if (strText.isEmpty())
        return nullptr;
    auto pData = std::make_unique<QMimeData>();
    pData->setText(strText);
    return pData;
}

void CDragGridBox::TryDrag()
{
    if (!m_bDragEnabled)
        return;
    std::unique_ptr<QMimeData> pData = CreateDragData();
    if (!pData)
        return;
    if (m_dragHook) {
        m_dragHook(*pData);
        return;
    }
    auto* pDrag = new QDrag(this);
    pDrag->setMimeData(pData.release());
    pDrag->exec(Qt::CopyAction, Qt::CopyAction);
}

void CDragGridBox::mousePressEvent(QMouseEvent* pEvent)
{
    CCellGridBox::mousePressEvent(pEvent);
    if (pEvent->button() == Qt::LeftButton)
        m_nMoveCount = 0;
}

void CDragGridBox::mouseReleaseEvent(QMouseEvent* pEvent)
{
    m_nMoveCount = -1;
    CCellGridBox::mouseReleaseEvent(pEvent);
}

void CDragGridBox::mouseDoubleClickEvent(QMouseEvent* pEvent)
{
    m_nMoveCount = -1;
    CCellGridBox::mouseDoubleClickEvent(pEvent);
}

void CDragGridBox::mouseMoveEvent(QMouseEvent* pEvent)
{
    if (m_nMoveCount >= 0) {
        if (m_nMoveCount < kDragThreshold) {
            ++m_nMoveCount;
        } else {
            m_nMoveCount = -1;
            TryDrag();
        }
    }
    CCellGridBox::mouseMoveEvent(pEvent);
}

void CDragGridBox::startDrag(Qt::DropActions) {}
