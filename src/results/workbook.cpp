#include "results/workbook.h"

#include "core/common_routines.h"
#include "core/failure.h"

#include <QDir>
#include <QFile>

#include <xlsxwriter.h>

#include <algorithm>
#include <clocale>
#include <locale.h>

namespace larkspire {

namespace {
constexpr int kMaxCellChars = 32767; // what one cell of a workbook holds
constexpr double kMaxColumnWidth = 255;
// The xlsx library prints numbers (widths, margins) through the C library,
// which follows the user's numeric locale: a decimal comma would make the
// file invalid. The "C" numeric locale holds on this thread while it writes.
class CNumericLocale final {
public:
    CNumericLocale()
    {
        if (const locale_t base = duplocale(LC_GLOBAL_LOCALE))
            m_c = newlocale(LC_NUMERIC_MASK, "C", base);
        if (m_c)
            m_previous = uselocale(m_c);
    }
    ~CNumericLocale()
    {
        if (m_c) {
            uselocale(m_previous);
            freelocale(m_c);
        }
    }
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;

private:
    locale_t m_c = nullptr;
    locale_t m_previous = nullptr;
};

} // namespace

SheetCell& SheetCells::at(int row, int column)
{
    if (row < 1 || column < 1 || row > 1048576 || column > 16384)
        throw Failure(QStringLiteral("Cell out of range"), 1004);
    if (static_cast<size_t>(row) > m_rows.size())
        m_rows.resize(static_cast<size_t>(row));
    auto& cells = m_rows[static_cast<size_t>(row - 1)];
    m_columns = std::max(m_columns, column);
    if (static_cast<size_t>(column) > cells.size()) {
        cells.reserve(static_cast<size_t>(m_columns)); // a row's cells are set left to right
        cells.resize(static_cast<size_t>(column));
    }
    return cells[static_cast<size_t>(column - 1)];
}

void SheetCells::set(int row, int column, const QString& text) { at(row, column) = SheetCell{text, 0, -1}; }

void SheetCells::setNumber(int row, int column, double value, const QString& format, const QString& shown)
{
    // A handful of formats, most often the same literal texts: their data
    // is compared by place before by content.
    auto known = std::find_if(m_formats.begin(), m_formats.end(), [&](const QString& f) {
        return (f.constData() == format.constData() && f.size() == format.size()) || f == format;
    });
    if (known == m_formats.end())
        known = m_formats.insert(m_formats.end(), format);
    at(row, column) = SheetCell{shown, value, int(known - m_formats.begin())};
}

void SheetCells::fitColumns()
{
    m_widths.assign(static_cast<size_t>(m_columns), 0.0);
    for (const auto& cells : m_rows)
        for (size_t c = 0; c < cells.size(); ++c)
            m_widths[c] = std::max(m_widths[c], double(std::min<qsizetype>(cells[c].text.size(), kMaxCellChars)));
    for (double& w : m_widths)
        w = std::min(kMaxColumnWidth, w > 0 ? w + 1 : 0.0); // a character to spare, as fitting leaves
}

double SheetCells::width(int column) const
{
    return column >= 1 && static_cast<size_t>(column) <= m_widths.size() ? m_widths[static_cast<size_t>(column - 1)]
                                                                         : 0.0;
}

void writeXlsx(const SheetCells& cells, const QString& path)
{
    const CNumericLocale numbers;
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    const QByteArray tmp = QFile::encodeName(usableTempFolder());
    options.tmpdir = const_cast<char*>(tmp.constData());
    const QByteArray file = QFile::encodeName(path);
    lxw_workbook* workbook = workbook_new_opt(file.constData(), &options);
    if (!workbook)
        throw Failure(QStringLiteral("Cannot create the workbook ") + path, 1004);
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, nullptr);
    for (int c = 1; c <= cells.columnCount(); ++c)
        if (cells.width(c) > 0)
            worksheet_set_column(sheet, lxw_col_t(c - 1), lxw_col_t(c - 1), cells.width(c), nullptr);
    // One format for each number format in use.
    std::vector<lxw_format*> formats;
    for (const QString& numberFormat : cells.numberFormats()) {
        formats.push_back(workbook_add_format(workbook));
        format_set_num_format(formats.back(), numberFormat.toUtf8().constData());
    }
    for (int r = 1; r <= cells.rowCount(); ++r) {
        const auto& row = cells.row(r);
        for (size_t c = 0; c < row.size(); ++c) {
            const SheetCell& cell = row[c];
            if (cell.isEmpty())
                continue;
            if (cell.isNumber()) {
                worksheet_write_number(sheet, lxw_row_t(r - 1), lxw_col_t(c), cell.number, formats[size_t(cell.format)]);
                continue;
            }
            const QByteArray utf8 = cell.text.left(kMaxCellChars).toUtf8();
            worksheet_write_string(sheet, lxw_row_t(r - 1), lxw_col_t(c), utf8.constData(), nullptr);
        }
    }
    const lxw_error error = workbook_close(workbook);
    if (error != LXW_NO_ERROR)
        throw Failure(QStringLiteral("Cannot write the workbook ") + path + QStringLiteral(": ") +
                      QString::fromUtf8(lxw_strerror(error)), 1004);
}

} // namespace larkspire
