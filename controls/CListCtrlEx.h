#pragma once
// A report-style list (header, rows, full-row selection) over a CGridModel, that paints a
// text in a one-line band under the header while it has no rows and remembers the colours
// it was given.

#include "controls/CGridModel.h"

#include <QColor>
#include <QString>
#include <QTimer>
#include <QTreeView>

class CListCtrlEx : public QTreeView
{
    Q_OBJECT
public:
    explicit CListCtrlEx(QWidget* parent = nullptr);
    ~CListCtrlEx() override;

    CGridModel* GetGridModel() const { return m_pModel; }

    // The text painted while the list has no rows.
    void SetEmptyText(const QString& strText);
    const QString& GetEmptyText() const { return m_strEmptyText; }
    // The band the empty-list text is painted in, in viewport coordinates; empty when the
    // list has rows or no header.
    QRect GetEmptyTextRect() const;

    // Rows kept in ascending order of their first cell (the list's sort-ascending style).
    void SetSortAscending(bool bSort) { m_pModel->SetSorted(bSort); }
    bool IsSortAscending() const { return m_pModel->IsSorted(); }

    // Rows that arrive faster than this are painted together.
    static constexpr int kPaintIntervalMs = 50;

    // Redraw off and on (redraw off holds painting until it is switched on again).
    void SetRedraw(bool bRedraw);

    // Colours of the rows' text, of the text background and of the list's background.
    // Colours never set follow the system's (the application palette).
    void SetTextColor(const QColor& color);
    void SetTextBkColor(const QColor& color);
    void SetBkColor(const QColor& color);
    QColor GetTextColor() const { return m_crText; }
    QColor GetTextBkColor() const { return m_crTextBk; }
    QColor GetBkColor() const { return m_crBk; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ApplyColors();
    void OnRowsArrived();
    void OnFocusChange(QFocusEvent* event);

    CGridModel* m_pModel;
    QColor m_crText;
    QColor m_crTextBk;
    QColor m_crBk;
    bool m_bTextColorSet = false;
    bool m_bTextBkColorSet = false;
    bool m_bBkColorSet = false;
    QString m_strEmptyText;
    // Rows arriving one by one repaint the list at most once per interval.
    QTimer m_paintThrottle;
};
