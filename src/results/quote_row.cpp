#include "results/quote_row.h"

#include "quotes/number_format.h"

#include <QDateTime>

namespace larkspire {

namespace {

enum class Kind { Text, Number, Time };

struct FieldDef {
    const char* name;
    Kind kind;
    int subItem; // the window's cell the value stands behind, or 0
};

// The figures behind the window's cells are the page's raw numbers.
constexpr FieldDef kFields[] = {
    {"symbol", Kind::Text, 0},         {"name", Kind::Text, 0},          {"currency", Kind::Text, 0},
    {"exchange", Kind::Text, 0},       {"quoteType", Kind::Text, 0},     {"marketState", Kind::Text, 0},
    {"time", Kind::Time, 0},           {"price", Kind::Number, 0},       {"change", Kind::Number, 0},
    {"changePercent", Kind::Number, 0}, {"postMarketPrice", Kind::Number, 1}, {"open", Kind::Number, 2},
    {"high", Kind::Number, 3},         {"low", Kind::Number, 4},         {"volume", Kind::Number, 5},
    {"averageVolume", Kind::Number, 6}, {"marketCap", Kind::Number, 7}, {"previousClose", Kind::Number, 8},
    {"retrieved", Kind::Time, 0},      {"source", Kind::Text, 0},
};

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

CellRow windowRow(const Quote& quote, const QString& first)
{
    CellRow row{Cell::ofText(first)};
    for (int sub = 1; sub <= 8; ++sub) {
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
    for (const FieldDef& f : kFields)
        names << QString::fromLatin1(f.name);
    return names;
}

CellRow fieldRow(const Quote& quote, const QStringList& fields)
{
    CellRow row;
    for (const QString& name : fields)
        for (const FieldDef& f : kFields)
            if (name == QLatin1String(f.name))
                row.push_back(fieldCell(quote, f));
    return row;
}

QString isoTime(qint64 utcSeconds)
{
    return QDateTime::fromSecsSinceEpoch(utcSeconds, Qt::UTC).toString(Qt::ISODate);
}

} // namespace larkspire
