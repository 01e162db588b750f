#pragma once
// A horizontal bar between two panes that the user drags up or down. It moves nothing itself:
// the window that lays the panes out hears how far it was dragged.

#include <QWidget>

class CSplitterBar : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kHeight = 6;

    explicit CSplitterBar(QWidget* pParent = nullptr);
    QSize sizeHint() const override;

Q_SIGNALS:
    // A drag began; then the pointer is this many pixels below where it began (negative:
    // above), reported at each move.
    void dragStarted();
    void dragged(int nDy);

protected:
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void paintEvent(QPaintEvent* pEvent) override;

private:
    bool m_bDragging = false;
    int m_nPressY = 0; // global
};
