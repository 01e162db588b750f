#pragma once
// A grid whose selected rows can be dragged out as text: the scripts of the objects the
// rows stand for, joined by "\r\n" in list order. The rows' scripts come from a source the
// owner installs, so the grid itself never looks into item data. The drag starts at the
// third mouse move after a left press on the list.

#include "controls/CCellGridBox.h"

#include <QString>
#include <functional>
#include <memory>

class QMimeData;

class CDragGridBox : public CCellGridBox
{
    Q_OBJECT
public:
    // The name and script of the object a row stands for; false when there is none.
    using RowScriptSource = std::function<bool(int nRow, QString& strName, QString& strScript)>;
    // Test seam: receives the drag's data instead of the platform's drag loop.
    using DragHook = std::function<void(const QMimeData& data)>;

    static constexpr int kDragThreshold = 2;

    explicit CDragGridBox(QWidget* parent = nullptr);
    ~CDragGridBox() override;

    void SetRowScriptSource(RowScriptSource source) { m_scriptSource = std::move(source); }
    // Lets rows be dragged; later calls change nothing.
    void EnableDrag();
    bool IsDragEnabled() const { return m_bDragEnabled; }

    // Repaints the whole list when it was empty, so the empty-list text goes.
    int AddItem(const QString& strText, CItemData data = {}) override;

    // The text a drag of the selected rows carries; rows without a script are skipped.
    QString GetDragText() const;
    // The data offered for the selected rows; null when the text is empty.
    std::unique_ptr<QMimeData> CreateDragData() const;

    void SetDragHookForTesting(DragHook hook) { m_dragHook = std::move(hook); }

protected:
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    // The list's own drag start is replaced by the move count above.
    void startDrag(Qt::DropActions supportedActions) override;

private:
    void TryDrag();

    bool m_bDragEnabled = false;
    int m_nMoveCount = -1; // -1: no press waiting to become a drag
    RowScriptSource m_scriptSource;
    DragHook m_dragHook;
};
