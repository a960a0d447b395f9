#include "results/result_table.h"

#include "results/cell_safety.h"
#include "results/column_layout.h"
#include "core/failure.h"
#include "quotes/number_format.h"
#include "quotes/quote.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace larkspire {

namespace {

const Cell kEmpty;

const Cell& cellOf(const CellRow& row, qsizetype column)
{
    return size_t(column) < row.size() ? row[size_t(column)] : kEmpty;
}

CellRow headerRow(const QStringList& headers)
{
    CellRow row;
    for (const QString& h : headers)
        row.push_back(Cell::ofText(h));
    return row;
}

template <typename Line>
QByteArray joinLines(const ResultTable& table, Line line)
{
    QByteArray out = line(headerRow(table.headers), true);
    for (const CellRow& row : table.rows)
        out += line(row, false);
    return out;
}

// The nearest double to a JSON number's digits; nothing when they give no
// finite one. from_chars rounds exactly as the locale's parser does, at a
// fraction of its cost: a sheet of 100,000 rows reads 800,000 of them.
std::optional<double> finiteValue(const QString& jsonNumber)
{
    char digits[64];
    const qsizetype n = jsonNumber.size();
    double v = 0;
    if (n >= qsizetype(sizeof digits)) { // rare: the locale's parser takes any length
        bool ok = false;
        v = QLocale::c().toDouble(jsonNumber, &ok);
        if (!ok)
            return std::nullopt;
    } else {
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t c = jsonNumber[i].unicode();
            if (c > 0x7F)
                return std::nullopt;
            digits[i] = char(c);
        }
        const auto [end, error] = std::from_chars(digits, digits + n, v);
        if (error != std::errc() || end != digits + n)
            return std::nullopt;
    }
    if (!std::isfinite(v))
        return std::nullopt;
    return v;
}

// A figure as data: the number a workbook's cell holds, written the same in
// every locale (a decimal point, no grouping); a market capitalisation in
// billions as the window shows it ("151.64"). Anything else as its text.
QString dataText(const Cell& cell)
{
    if (!cell.figure || !cell.number || cell.number->format.isEmpty())
        return cell.text;
    if (cell.number->format == QLatin1String(kBillionsFormat)) {
        static const NumberFormats plain{QLocale::c()};
        try {
            QString billions = plain.billions(cell.number->digits);
            billions.remove(QLatin1Char(',')).chop(1); // the "B"
            return billions;
        } catch (const Failure&) {
            return cell.text;
        }
    }
    // "500.00" (a volume the window shows in the standard format) is 500,
    // as a locale whose shown text is no plain number gives it.
    QString digits = cell.number->digits;
    if (digits.contains(QLatin1Char('.')) && !digits.contains(QLatin1Char('e')) && !digits.contains(QLatin1Char('E'))) {
        while (digits.endsWith(QLatin1Char('0')))
            digits.chop(1);
        if (digits.endsWith(QLatin1Char('.')))
            digits.chop(1);
    }
    return digits;
}

// The text of a cell in a line of CSV or TSV: a text that would start a
// formula made safe, a number as data.
QString safeText(const Cell& cell, bool header)
{
    return header ? cell.text : cell.number ? dataText(cell) : withoutFormula(cell.text);
}

} // namespace

QByteArray alignedText(const ResultTable& table)
{
    const qsizetype columns = table.headers.size();
    std::vector<qsizetype> widths(size_t(columns), 0);
    for (qsizetype c = 0; c < columns; ++c) {
        widths[size_t(c)] = table.headers[c].size();
        for (const CellRow& row : table.rows)
            widths[size_t(c)] = std::max(widths[size_t(c)], cellOf(row, c).text.size());
    }
    return joinLines(table, [&](const CellRow& cells, bool) {
        QString line;
        for (qsizetype c = 0; c < columns; ++c)
            appendPaddedCell(line, cellOf(cells, c).text, widths[size_t(c)]);
        return (line + QStringLiteral("\r\n")).toUtf8();
    });
}

QByteArray tabSeparatedText(const ResultTable& table)
{
    return joinLines(table, [&](const CellRow& cells, bool header) {
        QStringList line;
        for (qsizetype c = 0; c < table.headers.size(); ++c)
            line << tsvCell(safeText(cellOf(cells, c), header));
        return (line.join(QLatin1Char('\t')) + QLatin1Char('\n')).toUtf8();
    });
}

QByteArray commaSeparatedText(const ResultTable& table)
{
    return joinLines(table, [&](const CellRow& cells, bool header) {
        QStringList line;
        for (qsizetype c = 0; c < table.headers.size(); ++c) {
            QString field = safeText(cellOf(cells, c), header);
            if (field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"')) ||
                field.contains(QLatin1Char('\n')) || field.contains(QLatin1Char('\r'))) {
                field.replace(QStringLiteral("\""), QStringLiteral("\"\""));
                field = QLatin1Char('"') + field + QLatin1Char('"');
            }
            line << field;
        }
        return (line.join(QLatin1Char(',')) + QStringLiteral("\r\n")).toUtf8();
    });
}

SheetValue sheetValueOf(const Cell& cell)
{
    if (cell.time) {
        // A sheet's date is days since 1899-12-30.
        const QString shown =
            QDateTime::fromSecsSinceEpoch(*cell.time, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!shown.isEmpty())
            return {double(*cell.time) / 86400.0 + 25569.0, QStringLiteral("yyyy-mm-dd hh:mm:ss"), shown};
    }
    if (cell.number && !cell.number->format.isEmpty())
        if (const auto value = finiteValue(cell.number->digits))
            return {value, cell.number->format, cell.text};
    QString text = cell.text;
    if (cell.figure)
        text.remove(QLatin1Char('='));
    return {std::nullopt, QString(), text};
}

SheetCells sheetOf(const ResultTable& table)
{
    SheetCells cells;
    const int columns = int(table.headers.size());
    for (int c = 1; c <= columns; ++c)
        cells.set(1, c, table.headers[c - 1]);
    for (size_t r = 0; r < table.rows.size(); ++r)
        for (int c = 1; c <= columns; ++c) {
            const SheetValue v = sheetValueOf(cellOf(table.rows[r], c - 1));
            if (v.number)
                cells.setNumber(int(r) + 2, c, *v.number, v.format, v.text);
            else if (!v.text.isEmpty())
                cells.set(int(r) + 2, c, v.text);
        }
    cells.fitColumns();
    return cells;
}

} // namespace larkspire
