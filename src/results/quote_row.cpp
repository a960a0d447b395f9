#include "results/quote_row.h"

#include "quotes/figure_table.h"
#include "quotes/number_format.h"

#include <vector>

#include <QDateTime>

namespace larkspire {

namespace {

enum class Kind { Text, Number, Time };

struct FieldDef {
    const char* name;
    Kind kind;
    int subItem; // the window's cell the value stands behind, or 0
};

// The fields in their order: what a quote means, the figures behind the
// window's cells (the page's raw numbers, in the cells' order, from the
// figure table), when it came and from where.
const std::vector<FieldDef>& fields()
{
    static const std::vector<FieldDef> all = [] {
        std::vector<FieldDef> f{
            {"symbol", Kind::Text, 0},   {"name", Kind::Text, 0},    {"currency", Kind::Text, 0},
            {"exchange", Kind::Text, 0}, {"quoteType", Kind::Text, 0}, {"marketState", Kind::Text, 0},
            {"time", Kind::Time, 0},     {"price", Kind::Number, 0}, {"change", Kind::Number, 0},
            {"changePercent", Kind::Number, 0},
        };
        for (int sub = 1; sub <= kFigureCount; ++sub)
            f.push_back({figureAt(sub).field, Kind::Number, sub});
        f.push_back({"retrieved", Kind::Time, 0});
        f.push_back({"source", Kind::Text, 0});
        return f;
    }();
    return all;
}

Cell numberCell(const std::optional<QString>& digits)
{
    Cell c = Cell::ofText(digits);
    if (digits)
        c.number = CellNumber{*digits, QStringLiteral("General")};
    return c;
}

Cell timeCell(std::optional<qint64> seconds)
{
    const QString text = seconds ? isoTime(*seconds) : QString();
    Cell c = Cell::ofText(text.isEmpty() ? std::nullopt : std::optional<QString>(text));
    if (!c.missing)
        c.time = seconds;
    return c;
}

Cell fieldCell(const Quote& quote, const FieldDef& f)
{
    if (f.subItem > 0)
        return numberCell(quote.figure(f.subItem).raw);
    const QLatin1String n(f.name);
    if (n == QLatin1String("symbol"))
        return Cell::ofText(quote.symbol);
    if (n == QLatin1String("name"))
        return Cell::ofText(quote.name ? std::optional<QString>(quote.name->trimmed()) : std::nullopt);
    if (n == QLatin1String("currency"))
        return Cell::ofText(quote.currency);
    if (n == QLatin1String("exchange"))
        return Cell::ofText(quote.exchange);
    if (n == QLatin1String("quoteType"))
        return Cell::ofText(quote.quoteType);
    if (n == QLatin1String("marketState"))
        return Cell::ofText(quote.marketState);
    if (n == QLatin1String("time"))
        return timeCell(quote.time);
    if (n == QLatin1String("source"))
        return Cell::ofText(quote.source.isEmpty() ? std::nullopt : std::optional<QString>(quote.source));
    if (n == QLatin1String("retrieved"))
        return timeCell(quote.retrieved);
    if (n == QLatin1String("price"))
        return numberCell(quote.price);
    if (n == QLatin1String("change"))
        return numberCell(quote.change);
    // changePercent: the page's fraction in percent, with its own digits.
    const QString percent = quote.changePercent ? timesHundred(*quote.changePercent) : QString();
    return numberCell(percent.isEmpty() ? std::nullopt : std::optional<QString>(percent));
}

} // namespace

QStringList windowHeaders(bool names)
{
    QStringList headers{names ? QStringLiteral("Stock Name") : QStringLiteral("Stock Symbol")};
    for (int sub = 1; sub <= kFigureCount; ++sub)
        headers << QString::fromLatin1(figureAt(sub).header);
    return headers;
}

CellRow windowRow(const Quote& quote, const QString& first)
{
    CellRow row{Cell::ofText(first)};
    for (int sub = 1; sub <= kFigureCount; ++sub) {
        const QuoteFigure& figure = quote.figure(sub);
        Cell c;
        c.text = figure.text.value_or(QString());
        c.number = figure.number;
        c.figure = true;
        row.push_back(std::move(c));
    }
    return row;
}

QStringList quoteFieldNames()
{
    QStringList names;
    for (const FieldDef& f : fields())
        names << QString::fromLatin1(f.name);
    return names;
}

CellRow fieldRow(const Quote& quote, const QStringList& names)
{
    CellRow row;
    for (const QString& name : names)
        for (const FieldDef& f : fields())
            if (name == QLatin1String(f.name))
                row.push_back(fieldCell(quote, f));
    return row;
}

QString isoTime(qint64 utcSeconds)
{
    return QDateTime::fromSecsSinceEpoch(utcSeconds, Qt::UTC).toString(Qt::ISODate);
}

} // namespace larkspire
