#include "results/result_table.h"

#include "results/cell_safety.h"

#include "results/column_layout.h"
#include "results/records.h"
#include "results/sheet_numbers.h"

#include <algorithm>

namespace larkspire {

namespace {

QString cellOf(const QStringList& row, qsizetype column) { return column < row.size() ? row[column] : QString(); }

template <typename Line>
QByteArray joinLines(const ResultTable& table, Line line)
{
    QByteArray out;
    out += line(table.headers);
    for (const QStringList& row : table.rows)
        out += line(row);
    return out;
}

} // namespace

QStringList resultHeaders(bool names)
{
    return {names ? QStringLiteral("Stock Name") : QStringLiteral("Stock Symbol"),
            QStringLiteral("Stock Price"),
            QStringLiteral("Open"),
            QStringLiteral("High"),
            QStringLiteral("Low"),
            QStringLiteral(" Volume"),
            QStringLiteral("Avg Vol"),
            QStringLiteral("Mkt Cap"),
            QStringLiteral("Prev Close")};
}

QByteArray alignedText(const ResultTable& table)
{
    const qsizetype columns = table.headers.size();
    std::vector<qsizetype> widths(size_t(columns), 0);
    for (qsizetype c = 0; c < columns; ++c) {
        widths[size_t(c)] = table.headers[c].size();
        for (const QStringList& row : table.rows)
            widths[size_t(c)] = std::max(widths[size_t(c)], cellOf(row, c).size());
    }
    return joinLines(table, [&](const QStringList& cells) {
        QString line;
        for (qsizetype c = 0; c < columns; ++c)
            appendPaddedCell(line, cellOf(cells, c), widths[size_t(c)]);
        return (line + QStringLiteral("\r\n")).toUtf8();
    });
}

namespace {

// The cells of one line, text cells made safe from running as formulas.
template <typename Line>
QByteArray safeLines(const ResultTable& table, const NumberFormats& formats, Line line)
{
    const qsizetype columns = table.headers.size();
    QByteArray out = line(table.headers);
    for (size_t r = 0; r < table.rows.size(); ++r) {
        const QStringList raws = r < table.raws.size() ? table.raws[r] : QStringList();
        QStringList cells;
        for (qsizetype c = 0; c < columns; ++c) {
            const QString text = cellOf(table.rows[r], c);
            const bool number = !table.textColumns.contains(c) &&
                                (isJsonNumber(text) || numberCellOf(text, cellOf(raws, c), formats));
            cells << (number ? text : withoutFormula(text));
        }
        out += line(cells);
    }
    return out;
}

} // namespace

QByteArray tabSeparatedText(const ResultTable& table, const NumberFormats& formats)
{
    return safeLines(table, formats, [&](const QStringList& cells) {
        QStringList line;
        for (qsizetype c = 0; c < table.headers.size(); ++c)
            line << tsvCell(cellOf(cells, c));
        return (line.join(QLatin1Char('\t')) + QLatin1Char('\n')).toUtf8();
    });
}

QByteArray commaSeparatedText(const ResultTable& table, const NumberFormats& formats)
{
    return safeLines(table, formats, [&](const QStringList& cells) {
        QStringList line;
        for (qsizetype c = 0; c < table.headers.size(); ++c) {
            QString field = cellOf(cells, c);
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

namespace {

void setSheetCell(SheetCells& cells, int row, int column, const QString& text, const QString& raw,
                  const NumberFormats& formats)
{
    const ResultCell cell = resultCellOf(text, raw, column, formats);
    if (cell.number)
        cells.setNumber(row, column, cell.number->value, cell.number->format, cell.text);
    else if (!cell.text.isEmpty())
        cells.set(row, column, cell.text);
}

} // namespace

SheetCells sheetOf(const ResultTable& table, const NumberFormats& formats)
{
    SheetCells cells;
    const int columns = int(table.headers.size());
    for (int c = 1; c <= columns; ++c)
        cells.set(1, c, table.headers[c - 1]);
    for (size_t r = 0; r < table.rows.size(); ++r) {
        const QStringList& row = table.rows[r];
        const QStringList raws = r < table.raws.size() ? table.raws[r] : QStringList();
        for (int c = 1; c <= columns; ++c)
            setSheetCell(cells, int(r) + 2, c, cellOf(row, c - 1), cellOf(raws, c - 1), formats);
    }
    cells.fitColumns();
    return cells;
}

} // namespace larkspire
