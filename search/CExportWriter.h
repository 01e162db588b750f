#pragma once
// Writes result rows as a delimited text file: a header line, an optional column mapping,
// separators used verbatim, 8-bit text in the locale's character set (or UTF-16 units).
// A cell, or a header title, is enclosed in double quotes when it holds the column
// separator, a double quote, CR or LF (an empty separator quotes every cell); quotes inside
// are doubled. Any other cell is written exactly as it is.
//
// Used by the grid's export and by quarrow-find --format csv. No Qt.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The choices an export is made with. The defaults are the export dialog's defaults.
struct SExportSettings
{
    std::u16string m_strColumnSeparator = u";";
    std::u16string m_strRowSeparator = u"\r\n";
    // The columns wanted, by title, in the order wanted; empty: the list's own titles.
    std::vector<std::u16string> m_columns;
    // True: 8-bit text in m_strCharset; false: UTF-16 units in the machine's byte order.
    bool m_bNarrow = true;
    // An iconv character-set name; empty: the locale's (nl_langinfo(CODESET)).
    std::string m_strCharset;
};

// The outcome of a write: ok, or the error number and its text.
struct SExportError
{
    int m_nErrno = 0;         // errno of the failing call; 0 when there is no error
    std::u16string m_strText; // the system's message text for it, or a description
    bool IsOk() const { return m_nErrno == 0 && m_strText.empty(); }
};

class CExportWriter
{
public:
    // titles: the list's column titles, in its column order.
    CExportWriter(SExportSettings settings, std::vector<std::u16string> titles);
    ~CExportWriter();
    CExportWriter(const CExportWriter&) = delete;
    CExportWriter& operator=(const CExportWriter&) = delete;

    // The header titles: the wanted columns when they differ from the list's titles,
    // otherwise the list's titles.
    const std::vector<std::u16string>& GetHeader() const { return m_header; }
    // True when a mapping reorders or drops cells.
    bool HasMapping() const { return !m_mapping.empty(); }

    // The header line (titles quoted as cells are, joined, row separator appended);
    // empty when the header has no title.
    std::u16string FormatHeader() const;
    // One row's line, cells in the list's column order, row separator appended.
    std::u16string FormatRow(const std::vector<std::u16string>& cells) const;
    // One cell as it stands in the file.
    std::u16string FormatCell(const std::u16string& cell) const;

    // Writing to a stream: the header first, then rows. Each answers the first error;
    // after an error nothing more is written.
    SExportError Begin(std::ostream& out);
    SExportError WriteRow(const std::vector<std::u16string>& cells);
    std::int64_t GetRowsWritten() const { return m_nRows; }

    // Encodes a line for the file: 8-bit text in the character set (characters it cannot
    // represent become '?') or UTF-16 units. Empty charset: the locale's.
    static std::string Encode(const std::u16string& line, bool narrow,
                              const std::string& charset = {});

private:
    SExportError Write(const std::u16string& line);

    SExportSettings m_settings;
    std::vector<std::u16string> m_header;
    std::vector<int> m_mapping; // list column -> file position, -1 left out; empty: none
    std::ostream* m_pOut = nullptr;
    std::int64_t m_nRows = 0;
    SExportError m_error;
};

// The rows an export reads: the list's rows by index.
class IExportRows
{
public:
    virtual ~IExportRows() = default;
    virtual int GetRowCount() = 0;
    // The cells of a row in the list's column order; false when the row does not exist.
    virtual bool GetRowCells(int row, std::vector<std::u16string>& cells) = 0;
};

// Hooks the grid gives an export: a stop question asked before each row, and progress
// (rows done, total) after each.
struct SExportHooks
{
    std::function<bool()> m_shouldStop;
    std::function<void(std::int64_t done, std::int64_t total)> m_progress;
};

struct SExportResult
{
    std::int64_t m_nRows = 0; // rows written (the header not counted)
    SExportError m_error;
};

// The whole export: header, then either the rows listed in selectedRows (in that order) or
// every row from 0 to the count minus 1.
SExportResult ExportItems(std::ostream& out, const std::vector<std::u16string>& titles,
                          IExportRows& rows, const std::optional<std::vector<int>>& selectedRows,
                          const SExportSettings& settings, const SExportHooks& hooks = {});
// The same to a file, created or truncated. The rows written before an error stay.
SExportResult ExportItems(const std::string& path, const std::vector<std::u16string>& titles,
                          IExportRows& rows, const std::optional<std::vector<int>>& selectedRows,
                          const SExportSettings& settings, const SExportHooks& hooks = {});
