#include "findwnd/CScriptView.h"

#include "findwnd/CScriptHighlighter.h"

#include <QElapsedTimer>
#include <QFontDatabase>
#include <QPainter>
#include <QTextBlock>
#include <algorithm>

namespace {

constexpr int kNumberPadding = 4; // pixels each side of a line number

} // namespace

// The gutter left of the text; the view paints it.
class CLineNumberArea : public QWidget
{
public:
    explicit CLineNumberArea(CScriptView* pView) : QWidget(pView), m_pView(pView) {}
    QSize sizeHint() const override { return {m_pView->LineNumberWidth(), 0}; }

protected:
    void paintEvent(QPaintEvent* pEvent) override { m_pView->PaintLineNumbers(pEvent); }

private:
    CScriptView* m_pView;
};

CScriptView::CScriptView(QWidget* pParent) : QPlainTextEdit(pParent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setUndoRedoEnabled(false);
    m_pLineNumbers = new CLineNumberArea(this);
    m_pHighlighter = new CScriptHighlighter(document());
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_pHighlighter->SetDarkBackground(palette().color(QPalette::Base).lightness() < 128);
    m_colourTimer.setInterval(0);
    connect(&m_colourTimer, &QTimer::timeout, this, &CScriptView::ColourSlice);
    connect(this, &QPlainTextEdit::blockCountChanged, this, &CScriptView::UpdateMargins);
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& rect, int nDy) {
        if (nDy != 0)
            m_pLineNumbers->scroll(0, nDy);
        else
            m_pLineNumbers->update(0, rect.y(), m_pLineNumbers->width(), rect.height());
    });
    UpdateMargins();
}

CScriptView::~CScriptView() = default;

void CScriptView::SetScript(const QString& strScript, const std::vector<SMatchSpan>& matches)
{
    m_colourTimer.stop();
    // Each CR LF is one line break in the document: a script offset loses one position for
    // every CR LF that ends before it (a match that ends between CR and LF ends after the
    // break).
    std::vector<qsizetype> crlf;
    for (qsizetype i = 0; i + 1 < strScript.size(); ++i) {
        if (strScript[i] == u'\r' && strScript[i + 1] == u'\n')
            crlf.push_back(i);
    }
    const auto toDocument = [&crlf, &strScript](std::size_t nOffset) {
        const qsizetype nAt =
            std::min<qsizetype>(static_cast<qsizetype>(nOffset), strScript.size());
        const auto nBefore = std::lower_bound(crlf.begin(), crlf.end(), nAt - 1) - crlf.begin();
        return static_cast<int>(nAt - nBefore);
    };
    m_matches.clear();
    CScriptHighlighter::Runs runs;
    for (const SMatchSpan& span : matches) {
        const int nStart = toDocument(span.m_nStart);
        const int nEnd = toDocument(span.m_nStart + span.m_nLength);
        m_matches.emplace_back(nStart, nEnd);
        if (nEnd > nStart)
            runs.emplace_back(nStart, nEnd);
    }
    m_nCurrent = -1;
    setExtraSelections({});
    m_pHighlighter->Reset(std::move(runs));
    setPlainText(strScript);
    // The top lines at once; the rest from the event loop, slice by slice.
    m_pHighlighter->ExtendHorizon(kLinesPerSlice);
    if (!IsColouringDone())
        m_colourTimer.start();
    if (!GoToMatch(0))
        Q_EMIT currentMatchChanged(-1);
}

void CScriptView::ClearScript()
{
    SetScript(QString(), {});
}

std::pair<int, int> CScriptView::GetMatchRange(int nMatch) const
{
    if (nMatch < 0 || nMatch >= CountMatches())
        return {-1, -1};
    return m_matches[static_cast<std::size_t>(nMatch)];
}

bool CScriptView::GoToMatch(int nMatch)
{
    if (nMatch < 0 || nMatch >= CountMatches())
        return false;
    m_nCurrent = nMatch;
    const auto [nStart, nEnd] = m_matches[static_cast<std::size_t>(nMatch)];
    QTextCursor cursor(document());
    cursor.setPosition(nStart);
    cursor.setPosition(nEnd, QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    // The current match stands out from the others even while the text has no focus.
    QTextEdit::ExtraSelection current;
    current.cursor = cursor;
    current.format.setBackground(QColor(0xff, 0x8c, 0x00));
    current.format.setForeground(Qt::black);
    setExtraSelections({current});
    centerCursor();
    Q_EMIT currentMatchChanged(nMatch);
    return true;
}

int CScriptView::MatchFromCaret(bool bForward) const
{
    const QTextCursor cursor = textCursor();
    const int nCount = CountMatches();
    if (m_nCurrent >= 0) {
        const auto [nStart, nEnd] = m_matches[static_cast<std::size_t>(m_nCurrent)];
        if (cursor.selectionStart() == nStart && cursor.selectionEnd() == nEnd)
            return bForward ? (m_nCurrent + 1) % nCount : (m_nCurrent + nCount - 1) % nCount;
    }
    const int nCaret = cursor.selectionStart();
    if (bForward) {
        const auto it = std::lower_bound(
            m_matches.begin(), m_matches.end(), nCaret,
            [](const std::pair<int, int>& match, int nPos) { return match.first < nPos; });
        return it == m_matches.end() ? 0 : static_cast<int>(it - m_matches.begin());
    }
    const auto it = std::lower_bound(
        m_matches.begin(), m_matches.end(), nCaret,
        [](const std::pair<int, int>& match, int nPos) { return match.first < nPos; });
    return it == m_matches.begin() ? nCount - 1 : static_cast<int>(it - m_matches.begin()) - 1;
}

bool CScriptView::NextMatch()
{
    return CountMatches() > 0 && GoToMatch(MatchFromCaret(true));
}

bool CScriptView::PreviousMatch()
{
    return CountMatches() > 0 && GoToMatch(MatchFromCaret(false));
}

bool CScriptView::IsColouringDone() const
{
    return m_pHighlighter->GetHorizon() >= document()->blockCount();
}

void CScriptView::ColourSlice()
{
    QElapsedTimer elapsed;
    elapsed.start();
    do {
        m_pHighlighter->ExtendHorizon(m_pHighlighter->GetHorizon() + kLinesPerSlice);
    } while (!IsColouringDone() && elapsed.elapsed() < kSliceBudgetMs);
    if (IsColouringDone())
        m_colourTimer.stop();
}

int CScriptView::LineNumberWidth() const
{
    int nDigits = 1;
    for (int nMax = std::max(1, blockCount()); nMax >= 10; nMax /= 10)
        ++nDigits;
    // Room for three digits at least, so short scripts do not shift as the numbers grow.
    nDigits = std::max(nDigits, 3);
    return 2 * kNumberPadding + fontMetrics().horizontalAdvance(u'9') * nDigits;
}

void CScriptView::UpdateMargins()
{
    setViewportMargins(LineNumberWidth(), 0, 0, 0);
    const QRect area = contentsRect();
    m_pLineNumbers->setGeometry(area.left(), area.top(), LineNumberWidth(), area.height());
}

void CScriptView::resizeEvent(QResizeEvent* pEvent)
{
    QPlainTextEdit::resizeEvent(pEvent);
    UpdateMargins();
}

void CScriptView::changeEvent(QEvent* pEvent)
{
    QPlainTextEdit::changeEvent(pEvent);
    if (m_pLineNumbers == nullptr)
        return; // still in the constructor
    if (pEvent->type() == QEvent::FontChange)
        UpdateMargins();
    if (pEvent->type() == QEvent::PaletteChange) {
        m_pHighlighter->SetDarkBackground(palette().color(QPalette::Base).lightness() < 128);
        m_pHighlighter->rehighlight();
    }
}

void CScriptView::PaintLineNumbers(QPaintEvent* pEvent)
{
    QPainter painter(m_pLineNumbers);
    painter.fillRect(pEvent->rect(), palette().color(QPalette::AlternateBase));
    if (document()->isEmpty())
        return; // a message in place of a script has no lines
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.setFont(font());
    QTextBlock block = firstVisibleBlock();
    qreal top = blockBoundingGeometry(block).translated(contentOffset()).top();
    const int nWidth = m_pLineNumbers->width() - kNumberPadding;
    const int nLineHeight = fontMetrics().height();
    while (block.isValid() && top <= pEvent->rect().bottom()) {
        const qreal bottom = top + blockBoundingRect(block).height();
        if (block.isVisible() && bottom >= pEvent->rect().top())
            painter.drawText(0, static_cast<int>(top), nWidth, nLineHeight, Qt::AlignRight,
                             QString::number(block.blockNumber() + 1));
        block = block.next();
        top = bottom;
    }
}
