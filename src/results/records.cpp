#include "results/records.h"

#include "quotes/number_format.h"

#include <QLocale>

#include <cmath>

namespace larkspire {

QString jsonString(const QString& text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('"');
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'"': out += QStringLiteral("\\\""); break;
        case u'\\': out += QStringLiteral("\\\\"); break;
        case u'\b': out += QStringLiteral("\\b"); break;
        case u'\f': out += QStringLiteral("\\f"); break;
        case u'\n': out += QStringLiteral("\\n"); break;
        case u'\r': out += QStringLiteral("\\r"); break;
        case u'\t': out += QStringLiteral("\\t"); break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += QLatin1Char('"');
    return out;
}

namespace {

// A JSON number's digits that fit a finite double, written as they stand.
bool finiteJsonNumber(const QString& digits)
{
    if (!isJsonNumber(digits))
        return false;
    bool ok = false;
    const double v = QLocale::c().toDouble(digits, &ok);
    return ok && std::isfinite(v);
}

QString jsonValue(const Cell& cell)
{
    if (cell.missing)
        return QStringLiteral("null");
    if (cell.number)
        return finiteJsonNumber(cell.number->digits) ? cell.number->digits : QStringLiteral("null");
    return jsonString(cell.text);
}

} // namespace

QByteArray jsonRecords(const QStringList& names, const std::vector<JsonEntry>& entries, bool oneALine)
{
    QString out;
    if (!oneALine)
        out += QLatin1Char('[');
    bool first = true;
    for (const JsonEntry& entry : entries) {
        if (!oneALine)
            out += first ? QStringLiteral("\n") : QStringLiteral(",\n");
        first = false;
        QStringList members;
        if (entry.failure) {
            members << QStringLiteral("\"symbol\":") + jsonString(entry.symbol)
                    << QStringLiteral("\"error\":") + jsonString(*entry.failure);
        } else {
            for (qsizetype i = 0; i < names.size() && size_t(i) < entry.cells.size(); ++i)
                members << jsonString(names[i]) + QLatin1Char(':') + jsonValue(entry.cells[size_t(i)]);
        }
        out += QLatin1Char('{') + members.join(QLatin1Char(',')) + QLatin1Char('}');
        if (oneALine)
            out += QLatin1Char('\n');
    }
    if (!oneALine)
        out += entries.empty() ? QStringLiteral("]\n") : QStringLiteral("\n]\n");
    return out.toUtf8();
}

} // namespace larkspire
