#pragma once
// Makes room for the texts of a dialog's controls once the template is laid out. Dialog
// units are made for one font; with another, a text may need more room than its rectangle.
// Such a control grows into the free space beyond it (a wrapped label downward, after taking
// the free space to its right); what stands in the way on the same row (column) moves along,
// with the controls aligned with it, and the group box, tab control or dialog around them
// grows. Controls that span their frame widen with it. Controls of different tab pages share
// one area and never push each other.

#include <QRect>
#include <QSize>
#include <vector>

class CDialogBuilder;
class QWidget;

class CDialogFitter
{
public:
    // The least room between controls and to a frame's edge follows the builder's units.
    explicit CDialogFitter(const CDialogBuilder& builder);

    // Works on the direct children of pDialog that carry a control id.
    void Fit(QWidget* pDialog);

    // The room a control's text needs: for most the size hint of its text; for a wrapped
    // label its width and the height its text takes at that width. Invalid for a control
    // without text.
    static QSize TextNeed(const QWidget* pWidget);
    // Whether a label wraps its text: its style says so or it is taller than one line.
    static bool IsWrappedLabel(const QWidget* pWidget);

private:
    enum class EAxis
    {
        Horizontal,
        Vertical
    };
    struct SNode
    {
        QWidget* pWidget = nullptr;
        QRect rect;  // where it goes
        QRect base;  // at the start of the current pass: rows, columns and gaps come from here
        QRect start; // as the template laid it out: what spans its frame comes from here
        int nPage = 0;
        int nFrame = -1; // the group box or tab control it lies in; -1: the dialog
        bool bFrame = false;
    };

    void Pass(EAxis axis);
    void FitWrappedLabels();
    void Grow(int i, EAxis axis, int nNewEnd);
    void Push(int i, EAxis axis, int nNewStart);
    void Shift(int i, EAxis axis, int nDelta);
    void Settle(int i, EAxis axis);
    void Stretch(EAxis axis);
    // Where the free space beyond control i ends along the axis.
    int RoomEnd(int i, EAxis axis) const;

    bool SameLayer(int i, int j) const;
    bool Follows(int i, int j, EAxis axis) const;
    bool Inside(int i, int nFrame) const;
    int Gap(int i, int j, EAxis axis) const;
    int FrameMargin(int i, EAxis axis) const;
    int FrameEnd(int nFrame, EAxis axis) const;
    int FrameBaseEnd(int nFrame, EAxis axis) const;

    QSize m_gap;    // least room between controls
    QSize m_margin; // least room to a frame's edge
    QSize m_span;   // a control this close to both edges of its frame spans it
    std::vector<SNode> m_nodes;
    QSize m_dialog;
    QSize m_dialogBase;
    QSize m_dialogStart;
    int m_nBudget = 0; // steps left: a bound on the pushing, whatever the template
};
