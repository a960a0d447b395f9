#include "results/cell_safety.h"

namespace larkspire {

QString withoutFormula(const QString& text)
{
    if (!text.isEmpty()) {
        const QChar c = text.front();
        if (c == u'=' || c == u'+' || c == u'-' || c == u'@' || c == u'\t' || c == u'\r')
            return QLatin1Char('\'') + text;
    }
    return text;
}

QString tsvCell(const QString& text)
{
    QString out = text;
    for (QChar& c : out)
        if (c == u'\t' || c == u'\r' || c == u'\n')
            c = u' ';
    return out;
}

} // namespace larkspire
