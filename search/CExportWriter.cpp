#include "search/CExportWriter.h"

#include "platform/CodePage.h"
#include "platform/Utf.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <ostream>
#include <system_error>

namespace {

SExportError ErrorFromErrno(int error)
{
    SExportError result;
    result.m_nErrno = error != 0 ? error : EIO;
    result.m_strText = quarrow::FromUtf8(std::system_category().message(result.m_nErrno));
    return result;
}

} // namespace

CExportWriter::CExportWriter(SExportSettings settings, std::vector<std::u16string> titles)
    : m_settings(std::move(settings))
{
    const auto& columns = m_settings.m_columns;
    if (columns.empty() || titles.empty() || columns == titles) {
        m_header = std::move(titles);
        return;
    }
    m_header = columns;
    m_mapping.assign(titles.size(), -1);
    for (std::size_t i = 0; i < titles.size(); ++i) {
        for (std::size_t j = 0; j < columns.size(); ++j) {
            if (columns[j] == titles[i]) {
                m_mapping[i] = static_cast<int>(j);
                break;
            }
        }
    }
}

CExportWriter::~CExportWriter() = default;

std::u16string CExportWriter::FormatCell(const std::u16string& cell) const
{
    const std::u16string& separator = m_settings.m_strColumnSeparator;
    bool quote = separator.empty() || cell.find(separator) != std::u16string::npos ||
                 cell.find_first_of(u"\"\r\n") != std::u16string::npos;
    if (!quote) {
        return cell;
    }
    std::u16string out;
    out.reserve(cell.size() + 2);
    out.push_back(u'"');
    for (char16_t c : cell) {
        out.push_back(c);
        if (c == u'"') {
            out.push_back(u'"');
        }
    }
    out.push_back(u'"');
    return out;
}

std::u16string CExportWriter::FormatHeader() const
{
    if (m_header.empty()) {
        return {};
    }
    std::u16string line;
    for (std::size_t i = 0; i < m_header.size(); ++i) {
        if (i > 0) {
            line += m_settings.m_strColumnSeparator;
        }
        line += FormatCell(m_header[i]);
    }
    line += m_settings.m_strRowSeparator;
    return line;
}

std::u16string CExportWriter::FormatRow(const std::vector<std::u16string>& cells) const
{
    std::vector<std::u16string> placed;
    if (m_mapping.empty()) {
        placed.reserve(cells.size());
        for (const auto& cell : cells) {
            placed.push_back(FormatCell(cell));
        }
    } else {
        // Each cell goes to its mapped position; the line ends at the last filled one.
        int last = -1;
        for (std::size_t i = 0; i < cells.size() && i < m_mapping.size(); ++i) {
            last = std::max(last, m_mapping[i]);
        }
        placed.resize(static_cast<std::size_t>(last + 1));
        for (std::size_t i = 0; i < cells.size() && i < m_mapping.size(); ++i) {
            if (m_mapping[i] >= 0) {
                placed[static_cast<std::size_t>(m_mapping[i])] = FormatCell(cells[i]);
            }
        }
    }
    std::u16string line;
    for (std::size_t i = 0; i < placed.size(); ++i) {
        if (i > 0) {
            line += m_settings.m_strColumnSeparator;
        }
        line += placed[i];
    }
    line += m_settings.m_strRowSeparator;
    return line;
}

std::string CExportWriter::Encode(const std::u16string& line, bool narrow,
                                  const std::string& charset)
{
    if (!narrow) {
        return std::string(reinterpret_cast<const char*>(line.data()),
                           line.size() * sizeof(char16_t));
    }
    const std::string target = charset.empty() ? quarrow::LocaleCharset() : charset;
    std::string utf8 = quarrow::ToUtf8(line);
    if (quarrow::IsUtf8Charset(target)) {
        return utf8;
    }
    return quarrow::Utf8ToCharset(utf8, target);
}

SExportError CExportWriter::Write(const std::u16string& line)
{
    if (!m_error.IsOk()) {
        return m_error;
    }
    if (m_pOut == nullptr) {
        m_error.m_nErrno = EBADF;
        m_error.m_strText = u"the export has not begun";
        return m_error;
    }
    std::string bytes = Encode(line, m_settings.m_bNarrow, m_settings.m_strCharset);
    errno = 0;
    m_pOut->write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!*m_pOut) {
        m_error = ErrorFromErrno(errno);
    }
    return m_error;
}

SExportError CExportWriter::Begin(std::ostream& out)
{
    m_pOut = &out;
    std::u16string header = FormatHeader();
    if (header.empty()) {
        return m_error;
    }
    return Write(header);
}

SExportError CExportWriter::WriteRow(const std::vector<std::u16string>& cells)
{
    SExportError error = Write(FormatRow(cells));
    if (error.IsOk()) {
        ++m_nRows;
    }
    return error;
}

SExportResult ExportItems(std::ostream& out, const std::vector<std::u16string>& titles,
                          IExportRows& rows, const std::optional<std::vector<int>>& selectedRows,
                          const SExportSettings& settings, const SExportHooks& hooks)
{
    SExportResult result;
    CExportWriter writer(settings, titles);
    result.m_error = writer.Begin(out);
    if (!result.m_error.IsOk()) {
        return result;
    }
    std::vector<int> order;
    if (selectedRows) {
        order = *selectedRows;
    } else {
        int count = rows.GetRowCount();
        order.reserve(static_cast<std::size_t>(std::max(count, 0)));
        for (int i = 0; i < count; ++i) {
            order.push_back(i);
        }
    }
    const auto total = static_cast<std::int64_t>(order.size());
    std::int64_t done = 0;
    std::vector<std::u16string> cells;
    for (int row : order) {
        if (hooks.m_shouldStop && hooks.m_shouldStop()) {
            break;
        }
        cells.clear();
        rows.GetRowCells(row, cells); // a missing row is written as an empty line
        result.m_error = writer.WriteRow(cells);
        if (!result.m_error.IsOk()) {
            break;
        }
        ++done;
        if (hooks.m_progress) {
            hooks.m_progress(done, total);
        }
    }
    out.flush();
    if (result.m_error.IsOk() && !out) {
        result.m_error = ErrorFromErrno(errno);
    }
    result.m_nRows = writer.GetRowsWritten();
    return result;
}

SExportResult ExportItems(const std::string& path, const std::vector<std::u16string>& titles,
                          IExportRows& rows, const std::optional<std::vector<int>>& selectedRows,
                          const SExportSettings& settings, const SExportHooks& hooks)
{
    errno = 0;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        SExportResult result;
        result.m_error = ErrorFromErrno(errno);
        return result;
    }
    SExportResult result = ExportItems(file, titles, rows, selectedRows, settings, hooks);
    errno = 0;
    file.close();
    if (result.m_error.IsOk() && file.fail()) {
        result.m_error = ErrorFromErrno(errno);
    }
    return result;
}
