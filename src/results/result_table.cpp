#include "results/result_table.h"

#include "results/column_layout.h"

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

QByteArray tabSeparatedText(const ResultTable& table)
{
    const qsizetype columns = table.headers.size();
    return joinLines(table, [&](const QStringList& cells) {
        QStringList line;
        for (qsizetype c = 0; c < columns; ++c)
            line << cellOf(cells, c);
        return (line.join(QLatin1Char('\t')) + QLatin1Char('\n')).toUtf8();
    });
}

QByteArray commaSeparatedText(const ResultTable& table)
{
    const qsizetype columns = table.headers.size();
    return joinLines(table, [&](const QStringList& cells) {
        QStringList line;
        for (qsizetype c = 0; c < columns; ++c) {
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

SheetCells sheetOf(const ResultTable& table)
{
    SheetCells cells;
    const int columns = int(table.headers.size());
    for (int c = 1; c <= columns; ++c)
        cells.set(1, c, table.headers[c - 1]);
    int r = 2;
    for (const QStringList& row : table.rows) {
        for (int c = 1; c <= columns; ++c) {
            QString value = cellOf(row, c - 1);
            if (c > 1)
                value.remove(QLatin1Char('='));
            if (!value.isEmpty())
                cells.set(r, c, value);
        }
        ++r;
    }
    cells.fitColumns();
    return cells;
}

} // namespace larkspire
