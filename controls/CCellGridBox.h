#pragma once
// A grid that remembers the current cell: the row and column of the last left or right
// mouse press on a row.

#include "controls/CGridBox.h"

class CCellGridBox : public CGridBox
{
    Q_OBJECT
public:
    explicit CCellGridBox(QWidget* parent = nullptr);
    ~CCellGridBox() override;

    // -1 until a press hits a row.
    int GetCurrentCellRow() const { return m_nCurrentRow; }
    int GetCurrentCellColumn() const { return m_nCurrentColumn; }

protected:
    void mousePressEvent(QMouseEvent* pEvent) override;
    // Records the cell under a point of the viewport; a point right of the last column
    // counts as the last column. A miss leaves the current cell as it was.
    void RecordCurrentCell(QPoint point);

private:
    int m_nCurrentRow = -1;
    int m_nCurrentColumn = -1;
};
