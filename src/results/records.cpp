#include "results/records.h"

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

QByteArray jsonRecords(const QStringList& names, const std::vector<Record>& records, bool oneALine)
{
    QString out;
    if (!oneALine)
        out += QLatin1Char('[');
    bool first = true;
    for (const Record& record : records) {
        if (!oneALine)
            out += first ? QStringLiteral("\n") : QStringLiteral(",\n");
        first = false;
        QStringList members;
        if (record.error) {
            members << QStringLiteral("\"symbol\":") + jsonString(record.symbol)
                    << QStringLiteral("\"error\":") + jsonString(*record.error);
        } else {
            for (qsizetype i = 0; i < names.size() && size_t(i) < record.values.size(); ++i) {
                const FieldValue& v = record.values[size_t(i)];
                members << jsonString(names[i]) + QLatin1Char(':') +
                               (!v.text ? QStringLiteral("null") : v.isNumber ? *v.text : jsonString(*v.text));
            }
        }
        out += QLatin1Char('{') + members.join(QLatin1Char(',')) + QLatin1Char('}');
        if (oneALine)
            out += QLatin1Char('\n');
    }
    if (!oneALine)
        out += records.empty() ? QStringLiteral("]\n") : QStringLiteral("\n]\n");
    return out.toUtf8();
}

} // namespace larkspire
