#include "quotes/quote_list.h"

#include "core/plain_text.h"
#include "quotes/json_scan.h"
#include "quotes/quote_page.h"
#include "quotes/quote_reading.h"
#include "quotes/quote_url.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <vector>

namespace larkspire {

namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

qsizetype skipBlanks(QStringView text, qsizetype at)
{
    while (at < text.size() && isBlank(text[at]))
        ++at;
    return at;
}

// One value of a JSON text that is known to be well formed: where it
// starts and how long it is.
qsizetype valueLength(QStringView text, qsizetype at)
{
    const QChar c = text[at];
    if (c == u'{' || c == u'[')
        return JsonValueLength(text, at);
    if (c == u'"') {
        qsizetype end = at;
        return DecodeJsonString(text, at, &end) ? end - at : text.size() - at;
    }
    qsizetype end = at;
    while (end < text.size() && !isBlank(text[end]) && text[end] != u',' && text[end] != u'}' && text[end] != u']')
        ++end;
    return end - at;
}

struct Member {
    QString key;
    QStringView value;
};

// The members of the object opening at `open`, in order; the values as
// they stand in the text.
std::vector<Member> membersOf(QStringView text, qsizetype open)
{
    std::vector<Member> members;
    qsizetype at = skipBlanks(text, open + 1);
    while (at < text.size() && text[at] == u'"') {
        qsizetype end = at;
        auto key = DecodeJsonString(text, at, &end);
        at = skipBlanks(text, end);
        if (!key || at >= text.size() || text[at] != u':')
            break;
        at = skipBlanks(text, at + 1);
        const qsizetype length = valueLength(text, at);
        members.push_back({std::move(*key), text.mid(at, length)});
        at = skipBlanks(text, at + length);
        if (at >= text.size() || text[at] != u',')
            break;
        at = skipBlanks(text, at + 1);
    }
    return members;
}

// The elements of the array opening at `open`.
std::vector<QStringView> elementsOf(QStringView text, qsizetype open)
{
    std::vector<QStringView> elements;
    qsizetype at = skipBlanks(text, open + 1);
    while (at < text.size() && text[at] != u']') {
        const qsizetype length = valueLength(text, at);
        elements.push_back(text.mid(at, length));
        at = skipBlanks(text, at + length);
        if (at >= text.size() || text[at] != u',')
            break;
        at = skipBlanks(text, at + 1);
    }
    return elements;
}

QStringView memberValue(const std::vector<Member>& members, QStringView key)
{
    for (const Member& m : members)
        if (m.key == key)
            return m.value;
    return {};
}

// A figure's raw number text: the plain number (formatted=false) or the
// "raw" of a {"raw": ..., "fmt": ...} object.
QStringView rawNumber(QStringView value)
{
    if (value.startsWith(u'{'))
        value = memberValue(membersOf(value, 0), u"raw");
    return isJsonNumber(value) ? value : QStringView();
}

// A percentage as the fraction the page writes (-1.63993 is -0.0163993):
// the decimal point moved two places, digits kept. Nothing for an exponent.
QString percentAsFraction(QStringView percent)
{
    if (percent.contains(u'e') || percent.contains(u'E'))
        return QString();
    const bool negative = percent.startsWith(u'-');
    const QStringView digitsAndPoint = percent.mid(negative ? 1 : 0);
    const qsizetype point = digitsAndPoint.indexOf(u'.');
    const QStringView whole = point < 0 ? digitsAndPoint : digitsAndPoint.left(point);
    const QString digits = whole.toString() + (point < 0 ? QString() : digitsAndPoint.mid(point + 1).toString());
    const qsizetype wholeDigits = whole.size() - 2;
    QString text = wholeDigits <= 0 ? QString(QStringLiteral("0.") + QString(-wholeDigits, u'0') + digits)
                                    : QString(digits.left(wholeDigits) + QLatin1Char('.') + digits.mid(wholeDigits));
    while (text.size() > 1 && text.startsWith(u'0') && text[1] != u'.')
        text.remove(0, 1);
    while (text.contains(u'.') && (text.endsWith(u'0') || text.endsWith(u'.')))
        text.chop(1);
    if (negative && text != QStringLiteral("0"))
        text.prepend(u'-');
    return text;
}

// The name the symbol's page title shows: the short name, else the long one.
std::optional<QString> nameOf(const std::vector<Member>& members)
{
    for (const char16_t* key : {u"shortName", u"longName"}) {
        const QStringView value = memberValue(members, key);
        if (!value.startsWith(u'"'))
            continue;
        auto name = DecodeJsonString(value, 0);
        if (!name)
            continue;
        QString plain = withoutControlCharacters(name->trimmed());
        if (plain.trimmed().isEmpty())
            continue;
        if (plain.size() > kMaxNameChars)
            plain.truncate(kMaxNameChars);
        return plain;
    }
    return std::nullopt;
}

// The object as a page's price object writes it: the eight figures as
// {"raw": ...} pairs, the context under the page's own keys.
QString asPriceObject(const std::vector<Member>& members)
{
    QString object = QStringLiteral("{");
    auto add = [&object](QStringView key, QStringView value) {
        if (object.size() > 1)
            object += QLatin1Char(',');
        object += QLatin1Char('"') + key + QStringLiteral("\":") + value;
    };
    for (const QuoteCell& cell : QuoteCellTable) {
        const QString key = QString::fromLatin1(cell.key);
        if (const QStringView raw = rawNumber(memberValue(members, key)); !raw.isEmpty())
            add(key, QString(QStringLiteral("{\"raw\":") + raw + QStringLiteral(",\"fmt\":\"\"}")));
    }
    for (const char16_t* key : {u"currency", u"quoteType", u"marketState"})
        if (const QStringView value = memberValue(members, key); value.startsWith(u'"'))
            add(key, value);
    if (const QStringView value = memberValue(members, u"fullExchangeName"); value.startsWith(u'"'))
        add(u"exchangeName", value);
    for (const char16_t* key : {u"regularMarketTime", u"regularMarketPrice", u"regularMarketChange"})
        if (const QStringView raw = rawNumber(memberValue(members, key)); !raw.isEmpty())
            add(key, raw);
    if (const QString fraction = percentAsFraction(rawNumber(memberValue(members, u"regularMarketChangePercent")));
        !fraction.isEmpty())
        add(u"regularMarketChangePercent", fraction);
    return object + QLatin1Char('}');
}

} // namespace

QString quoteListHost(const QString& quoteHost, int number)
{
    if (isAddressOrOneLabel(quoteHost))
        return quoteHost;
    return QStringLiteral("query%1.").arg(number) + quoteHost;
}

QUrl quoteListUrl(const QString& scheme, const QString& listHost, const QStringList& upperSymbols,
                  const QString& crumb)
{
    QByteArray symbols;
    for (const QString& symbol : upperSymbols)
        symbols += (symbols.isEmpty() ? "" : "%2C") + encodedSymbol(symbol);
    return QUrl::fromEncoded(scheme.toLatin1() + "://" + listHost.toUtf8() + "/v7/finance/quote?symbols=" + symbols +
                                 "&crumb=" + QUrl::toPercentEncoding(crumb) + "&formatted=false",
                             QUrl::StrictMode);
}

QUrl crumbUrl(const QString& scheme, const QString& listHost)
{
    return QUrl::fromEncoded(scheme.toLatin1() + "://" + listHost.toUtf8() + "/v1/test/getcrumb", QUrl::StrictMode);
}

bool isUsableCrumb(const QString& text)
{
    return !text.isEmpty() && text.size() <= 64 && std::all_of(text.begin(), text.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'.' ||
               u == u'/' || u == u'_' || u == u'-';
    });
}

std::optional<QHash<QString, Quote>> readQuoteList(const QString& answer, const QStringList& askedUpper,
                                                   const NumberFormats& formats)
{
    // Well formed and of the list's shape first; the numbers' own digits
    // are then read from the text itself, never through a double.
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(answer.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonValue result = document.object().value(QStringLiteral("quoteResponse")).toObject().value(
        QStringLiteral("result"));
    if (!result.isArray())
        return std::nullopt;
    const QSet<QString> asked(askedUpper.begin(), askedUpper.end());
    const QStringView text(answer);
    const qsizetype root = skipBlanks(text, 0);
    const QStringView response = memberValue(membersOf(text, root), u"quoteResponse");
    const QStringView list = memberValue(membersOf(response, 0), u"result");
    const std::vector<QStringView> objects = elementsOf(list, 0);
    if (qsizetype(objects.size()) != result.toArray().size())
        return std::nullopt;
    QHash<QString, Quote> quotes;
    for (const QStringView object : objects) {
        if (!object.startsWith(u'{'))
            return std::nullopt;
        const std::vector<Member> members = membersOf(object, 0);
        const QStringView symbolValue = memberValue(members, u"symbol");
        const auto symbol = symbolValue.startsWith(u'"') ? DecodeJsonString(symbolValue, 0) : std::nullopt;
        if (!symbol || !asked.contains(symbol->toUpper()))
            return std::nullopt; // a quote nobody asked for: nothing of this answer is trusted
        const QString upper = symbol->toUpper();
        if (!quotes.contains(upper))
            quotes.insert(upper, readQuoteObject(asPriceObject(members), upper, nameOf(members), formats));
    }
    return quotes;
}

} // namespace larkspire
