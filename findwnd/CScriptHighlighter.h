#pragma once
// Colours a T-SQL script in the preview: comments (line and nested block), string literals
// and keywords, and marks the runs the last search matched. Syntax colours depend on every
// line above, so they are given in order up to a horizon that the owner moves on in slices;
// lines past it show only their matches until the horizon reaches them.

#include <QColor>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>
#include <utility>
#include <vector>

class CScriptHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT
public:
    // A character of a match carries this format property (true).
    static constexpr int kMatchProperty = QTextFormat::UserProperty + 1;
    // Block state of a line the horizon has not reached.
    static constexpr int kPendingState = 0x40000000;

    // Match runs as [start, end) document positions, sorted and not overlapping.
    using Runs = std::vector<std::pair<int, int>>;

    explicit CScriptHighlighter(QTextDocument* pDocument);

    // Starts over for a new text: no syntax colours yet, these matches. Call before the text
    // goes into the document, so that its first pass lays the matches at once.
    void Reset(Runs matches);
    // Colours the lines below nBlock (block numbers from 0) that are not coloured yet.
    void ExtendHorizon(int nBlock);
    int GetHorizon() const { return m_nHorizon; }
    // Lines coloured in full since the last Reset: the work done, for tests and benchmarks.
    int CountColouredLines() const { return m_nColouredLines; }

    // Colours from the palette's base: dark themes get light colours.
    void SetDarkBackground(bool bDark);

protected:
    void highlightBlock(const QString& strText) override;

private:
    void ColourSyntax(const QString& strText);
    void MarkMatches(int nLength);

    Runs m_matches;
    int m_nHorizon = 0;
    int m_nColouredLines = 0;
    QTextCharFormat m_keyword;
    QTextCharFormat m_comment;
    QTextCharFormat m_string;
    QColor m_matchBackground;
};
