#include "findwnd/CScriptHighlighter.h"

#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>
#include <array>
#include <string_view>

namespace {

// Block states of a line's end: what its last character left open.
constexpr int kNormal = 0;
constexpr int kInString = 1;      // '...'
constexpr int kInQuotedName = 2;  // "..."
constexpr int kInBracketName = 3; // [...]
constexpr int kInComment = 10;    // plus the nesting depth: T-SQL block comments nest

// T-SQL's reserved words and the few others every script is full of; sorted, upper case.
// clang-format off
constexpr std::array<std::string_view, 206> kKeywords = {
    "ADD",          "AFTER",          "ALL",            "ALTER",         "AND",
    "ANY",          "AS",             "ASC",            "AUTHORIZATION", "BACKUP",
    "BEGIN",        "BETWEEN",        "BIGINT",         "BINARY",        "BIT",
    "BREAK",        "BROWSE",         "BULK",           "BY",            "CASCADE",
    "CASE",         "CATCH",          "CHAR",           "CHECK",         "CHECKPOINT",
    "CLOSE",        "CLUSTERED",      "COALESCE",       "COLLATE",       "COLUMN",
    "COMMIT",       "COMPUTE",        "CONSTRAINT",     "CONTAINS",      "CONTAINSTABLE",
    "CONTINUE",     "CONVERT",        "CREATE",         "CROSS",         "CURRENT",
    "CURRENT_DATE", "CURRENT_TIME",   "CURRENT_TIMESTAMP", "CURRENT_USER", "CURSOR",
    "DATABASE",     "DATE",           "DATETIME",       "DATETIME2",     "DBCC",
    "DEALLOCATE",   "DECIMAL",        "DECLARE",        "DEFAULT",       "DELETE",
    "DENY",         "DESC",           "DISK",           "DISTINCT",      "DISTRIBUTED",
    "DOUBLE",       "DROP",           "DUMP",           "ELSE",          "ENCRYPTION",
    "END",          "ERRLVL",         "ESCAPE",         "EXCEPT",        "EXEC",
    "EXECUTE",      "EXISTS",         "EXIT",           "EXTERNAL",      "FETCH",
    "FILE",         "FILLFACTOR",     "FLOAT",          "FOR",           "FOREIGN",
    "FREETEXT",     "FREETEXTTABLE",  "FROM",           "FULL",          "FUNCTION",
    "GO",           "GOTO",           "GRANT",          "GROUP",         "HAVING",
    "HOLDLOCK",     "IDENTITY",       "IDENTITYCOL",    "IDENTITY_INSERT", "IF",
    "IN",           "INDEX",          "INNER",          "INSERT",        "INSTEAD",
    "INT",          "INTERSECT",      "INTO",           "IS",            "JOIN",
    "KEY",          "KILL",           "LEFT",           "LIKE",          "LINENO",
    "LOAD",         "MERGE",          "MONEY",          "NATIONAL",      "NCHAR",
    "NOCHECK",      "NOCOUNT",        "NONCLUSTERED",   "NOT",           "NULL",
    "NULLIF",       "NUMERIC",        "NVARCHAR",       "OF",            "OFF",
    "OFFSETS",      "ON",             "OPEN",           "OPENDATASOURCE", "OPENQUERY",
    "OPENROWSET",   "OPENXML",        "OPTION",         "OR",            "ORDER",
    "OUTER",        "OUTPUT",         "OVER",           "PERCENT",       "PIVOT",
    "PLAN",         "PRIMARY",        "PRINT",          "PROC",          "PROCEDURE",
    "PUBLIC",       "RAISERROR",      "READ",           "READTEXT",      "RECOMPILE",
    "RECONFIGURE",  "REFERENCES",     "REPLICATION",    "RESTORE",       "RESTRICT",
    "RETURN",       "RETURNS",        "REVERT",         "REVOKE",        "RIGHT",
    "ROLLBACK",     "ROWCOUNT",       "ROWGUIDCOL",     "RULE",          "SAVE",
    "SCHEMA",       "SELECT",         "SESSION_USER",   "SET",           "SETUSER",
    "SHUTDOWN",     "SMALLINT",       "SOME",           "STATISTICS",    "SYSTEM_USER",
    "TABLE",        "TABLESAMPLE",    "TEXTSIZE",       "THEN",          "THROW",
    "TINYINT",      "TO",             "TOP",            "TRAN",          "TRANSACTION",
    "TRIGGER",      "TRUNCATE",       "TRY",            "TSEQUAL",       "UNION",
    "UNIQUE",       "UNPIVOT",        "UPDATE",         "UPDATETEXT",    "USE",
    "USER",         "VALUES",         "VARBINARY",      "VARCHAR",       "VARYING",
    "VIEW",         "WAITFOR",        "WHEN",           "WHERE",         "WHILE",
    "WITH",
};
// clang-format on
static_assert(std::is_sorted(kKeywords.begin(), kKeywords.end()));

bool IsWordStart(QChar ch)
{
    return ch.isLetter() || ch == u'_' || ch == u'@' || ch == u'#';
}

bool IsWordPart(QChar ch)
{
    return ch.isLetterOrNumber() || ch == u'_' || ch == u'@' || ch == u'#' || ch == u'$';
}

bool IsKeyword(QStringView word)
{
    constexpr std::size_t kLongest = 20;
    if (word.size() > static_cast<qsizetype>(kLongest))
        return false;
    std::array<char, kLongest> upper{};
    for (qsizetype i = 0; i < word.size(); ++i) {
        const char16_t ch = word[i].unicode();
        if (ch >= u'a' && ch <= u'z')
            upper[static_cast<std::size_t>(i)] = static_cast<char>(ch - u'a' + 'A');
        else if (ch < 0x80)
            upper[static_cast<std::size_t>(i)] = static_cast<char>(ch);
        else
            return false;
    }
    return std::binary_search(
        kKeywords.begin(), kKeywords.end(),
        std::string_view(upper.data(), static_cast<std::size_t>(word.size())));
}

// The end of a quoted run that starts at nFrom, inside the quotes; a doubled closing quote
// stands for itself. -1 when the run goes on past the line.
qsizetype QuotedEnd(const QString& strText, qsizetype nFrom, QChar close)
{
    for (qsizetype i = nFrom; i < strText.size(); ++i) {
        if (strText[i] != close)
            continue;
        if (i + 1 < strText.size() && strText[i + 1] == close) {
            ++i;
            continue;
        }
        return i + 1;
    }
    return -1;
}

} // namespace

CScriptHighlighter::CScriptHighlighter(QTextDocument* pDocument) : QSyntaxHighlighter(pDocument)
{
    SetDarkBackground(false);
}

void CScriptHighlighter::SetDarkBackground(bool bDark)
{
    m_keyword = QTextCharFormat();
    m_keyword.setForeground(bDark ? QColor(0x82, 0xaa, 0xff) : QColor(0x00, 0x33, 0xb3));
    m_keyword.setFontWeight(QFont::Bold);
    m_comment = QTextCharFormat();
    m_comment.setForeground(bDark ? QColor(0x8c, 0xb8, 0x7c) : QColor(0x3f, 0x7f, 0x3f));
    m_comment.setFontItalic(true);
    m_string = QTextCharFormat();
    m_string.setForeground(bDark ? QColor(0xe6, 0xa4, 0x72) : QColor(0xa3, 0x15, 0x15));
    m_matchBackground = bDark ? QColor(0x8a, 0x6d, 0x00) : QColor(0xff, 0xe0, 0x4d);
}

void CScriptHighlighter::Reset(Runs matches)
{
    m_matches = std::move(matches);
    m_nHorizon = 0;
    m_nColouredLines = 0;
}

void CScriptHighlighter::ExtendHorizon(int nBlock)
{
    QTextDocument* pDocument = document();
    if (pDocument == nullptr || nBlock <= m_nHorizon)
        return;
    const int nFirst = m_nHorizon;
    m_nHorizon = std::min(nBlock, pDocument->blockCount());
    // Each newly reached line changes its state from pending, so the highlighter goes on to
    // the next; it stops at the first line past the horizon, which stays pending.
    const QTextBlock block = pDocument->findBlockByNumber(nFirst);
    if (block.isValid())
        rehighlightBlock(block);
}

void CScriptHighlighter::highlightBlock(const QString& strText)
{
    const int nBlock = currentBlock().blockNumber();
    if (nBlock >= m_nHorizon || previousBlockState() == kPendingState) {
        setCurrentBlockState(kPendingState);
    } else {
        ++m_nColouredLines;
        ColourSyntax(strText);
    }
    MarkMatches(static_cast<int>(strText.size()));
}

void CScriptHighlighter::ColourSyntax(const QString& strText)
{
    int nState = std::max(previousBlockState(), kNormal);
    const qsizetype nLength = strText.size();
    qsizetype i = 0;
    // What the line above left open goes on first.
    while (i < nLength || nState == kNormal) {
        if (nState >= kInComment) {
            const qsizetype nStart = i;
            int nDepth = nState - kInComment;
            while (i < nLength && nDepth > 0) {
                if (strText[i] == u'/' && i + 1 < nLength && strText[i + 1] == u'*') {
                    ++nDepth;
                    i += 2;
                } else if (strText[i] == u'*' && i + 1 < nLength && strText[i + 1] == u'/') {
                    --nDepth;
                    i += 2;
                } else {
                    ++i;
                }
            }
            setFormat(static_cast<int>(nStart), static_cast<int>(i - nStart), m_comment);
            nState = nDepth > 0 ? kInComment + nDepth : kNormal;
            continue;
        }
        if (nState == kInString || nState == kInQuotedName || nState == kInBracketName) {
            const QChar close = nState == kInString ? u'\'' : nState == kInQuotedName ? u'"' : u']';
            const qsizetype nEnd = QuotedEnd(strText, i, close);
            if (nState == kInString)
                setFormat(static_cast<int>(i), static_cast<int>((nEnd < 0 ? nLength : nEnd) - i),
                          m_string);
            if (nEnd < 0)
                break;
            i = nEnd;
            nState = kNormal;
            continue;
        }
        if (i >= nLength)
            break;
        const QChar ch = strText[i];
        const QChar next = i + 1 < nLength ? strText[i + 1] : QChar();
        if (ch == u'-' && next == u'-') {
            setFormat(static_cast<int>(i), static_cast<int>(nLength - i), m_comment);
            break;
        }
        if (ch == u'/' && next == u'*') {
            nState = kInComment + 1;
            setFormat(static_cast<int>(i), 2, m_comment);
            i += 2;
            continue;
        }
        if (ch == u'\'' || ((ch == u'N' || ch == u'n') && next == u'\'')) {
            // N'...' is one literal, its prefix included.
            const qsizetype nStart = i;
            i += ch == u'\'' ? 1 : 2;
            const qsizetype nEnd = QuotedEnd(strText, i, u'\'');
            setFormat(static_cast<int>(nStart),
                      static_cast<int>((nEnd < 0 ? nLength : nEnd) - nStart), m_string);
            if (nEnd < 0) {
                nState = kInString;
                break;
            }
            i = nEnd;
            continue;
        }
        if (ch == u'"' || ch == u'[') {
            const qsizetype nEnd = QuotedEnd(strText, i + 1, ch == u'"' ? u'"' : u']');
            if (nEnd < 0) {
                nState = ch == u'"' ? kInQuotedName : kInBracketName;
                break;
            }
            i = nEnd;
            continue;
        }
        if (IsWordStart(ch)) {
            const qsizetype nStart = i;
            while (i < nLength && IsWordPart(strText[i]))
                ++i;
            // Variables and temporary tables are names, whatever they are called.
            if (ch != u'@' && ch != u'#' && IsKeyword(QStringView(strText).mid(nStart, i - nStart)))
                setFormat(static_cast<int>(nStart), static_cast<int>(i - nStart), m_keyword);
            continue;
        }
        ++i;
    }
    setCurrentBlockState(nState);
}

void CScriptHighlighter::MarkMatches(int nLength)
{
    if (m_matches.empty())
        return;
    const int nStart = currentBlock().position();
    const int nEnd = nStart + nLength;
    // The first run that ends inside or after this line.
    auto it = std::upper_bound(
        m_matches.begin(), m_matches.end(), nStart,
        [](int nPos, const std::pair<int, int>& run) { return nPos < run.second; });
    for (; it != m_matches.end() && it->first < nEnd; ++it) {
        const int nFrom = std::max(it->first, nStart) - nStart;
        const int nTo = std::min(it->second, nEnd) - nStart;
        for (int i = nFrom; i < nTo; ++i) {
            QTextCharFormat merged = format(i);
            merged.setBackground(m_matchBackground);
            merged.setProperty(kMatchProperty, true);
            setFormat(i, 1, merged);
        }
    }
}
