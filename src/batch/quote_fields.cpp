#include "batch/quote_fields.h"

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
    {"retrieved", Kind::Time, 0},
};

const FieldDef* find(const QString& name)
{
    for (const FieldDef& f : kFields)
        if (name == QLatin1String(f.name))
            return &f;
    return nullptr;
}

FieldValue text(const std::optional<QString>& value) { return {false, value}; }
FieldValue number(const std::optional<QString>& value) { return {true, value}; }

} // namespace

QStringList quoteFieldNames()
{
    QStringList names;
    for (const FieldDef& f : kFields)
        names << QString::fromLatin1(f.name);
    return names;
}

bool isNumberField(const QString& name)
{
    const FieldDef* f = find(name);
    return f && f->kind != Kind::Text;
}

QString isoTime(qint64 utcSeconds)
{
    return QDateTime::fromSecsSinceEpoch(utcSeconds, Qt::UTC).toString(Qt::ISODate);
}

FieldValue quoteField(const Quote& quote, const QString& name)
{
    const FieldDef* f = find(name);
    if (!f)
        return {};
    if (f->subItem > 0)
        return number(quote.figure(f->subItem).raw);
    const QLatin1String n(f->name);
    if (n == QLatin1String("symbol"))
        return text(quote.symbol);
    if (n == QLatin1String("name"))
        return text(quote.name ? std::optional<QString>(quote.name->trimmed()) : std::nullopt);
    if (n == QLatin1String("currency"))
        return text(quote.currency);
    if (n == QLatin1String("exchange"))
        return text(quote.exchange);
    if (n == QLatin1String("quoteType"))
        return text(quote.quoteType);
    if (n == QLatin1String("marketState"))
        return text(quote.marketState);
    if (n == QLatin1String("time"))
        return text(quote.time ? std::optional<QString>(isoTime(*quote.time)) : std::nullopt);
    if (n == QLatin1String("retrieved"))
        return text(isoTime(quote.retrieved));
    if (n == QLatin1String("price"))
        return number(quote.price);
    if (n == QLatin1String("change"))
        return number(quote.change);
    // changePercent: the page's fraction in percent, with its own digits.
    return number(quote.changePercent ? std::optional<QString>(timesHundred(*quote.changePercent)) : std::nullopt);
}

} // namespace larkspire
