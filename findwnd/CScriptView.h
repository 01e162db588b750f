#pragma once
// The preview's text: a read-only, copyable script with line numbers, its T-SQL coloured and
// the last search's matches marked, one of them the current match. Offsets in the script
// are UTF-16 units; the document holds each CR LF as one line break, so they are mapped.

#include "search/MatchSpans.h"

#include <QPlainTextEdit>
#include <QTimer>
#include <utility>
#include <vector>

class CScriptHighlighter;

class CScriptView : public QPlainTextEdit
{
    Q_OBJECT
public:
    // Syntax colours are laid in slices of this many lines, and a slice of work on the
    // user-interface thread stops after this long, so a long script never holds it up.
    static constexpr int kLinesPerSlice = 256;
    static constexpr int kSliceBudgetMs = 8;

    explicit CScriptView(QWidget* pParent = nullptr);
    ~CScriptView() override;

    // Shows the script with its matches; the first one becomes current and is scrolled into
    // view. The first kLinesPerSlice lines are coloured at once, the rest slice by slice from
    // the event loop.
    void SetScript(const QString& strScript, const std::vector<SMatchSpan>& matches);
    void ClearScript();

    int CountMatches() const { return static_cast<int>(m_matches.size()); }
    // The current match, or -1.
    int GetCurrentMatch() const { return m_nCurrent; }
    // A match's [start, end) document positions.
    std::pair<int, int> GetMatchRange(int nMatch) const;
    // Selects the match and scrolls it into view; false for no such match.
    bool GoToMatch(int nMatch);
    // The next or previous match from the current one, or from the caret when the user has
    // moved it; past the last comes the first and before the first the last.
    bool NextMatch();
    bool PreviousMatch();

    CScriptHighlighter* GetHighlighter() const { return m_pHighlighter; }
    bool IsColouringDone() const;
    int LineNumberWidth() const;

Q_SIGNALS:
    void currentMatchChanged(int nMatch);

protected:
    void resizeEvent(QResizeEvent* pEvent) override;
    void changeEvent(QEvent* pEvent) override;

private:
    friend class CLineNumberArea;
    void PaintLineNumbers(QPaintEvent* pEvent);
    void UpdateMargins();
    void ColourSlice();
    // Where the match to go to lies, when the selection is not the current match any more.
    int MatchFromCaret(bool bForward) const;

    QWidget* m_pLineNumbers = nullptr;
    CScriptHighlighter* m_pHighlighter = nullptr;
    QTimer m_colourTimer;
    std::vector<std::pair<int, int>> m_matches; // document positions, in script order
    int m_nCurrent = -1;
};
