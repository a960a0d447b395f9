#include "platform/dialogs.h"

#include <QRegularExpression>
#include <QStringList>

namespace larkspire {

QStringList nameFiltersFromPipeList(const QString& filter)
{
    static const QRegularExpression trailingPattern(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString pattern = parts.at(i + 1);
        pattern.replace(QStringLiteral("*.*"), QStringLiteral("*"));
        pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
        QString description = parts.at(i);
        description.remove(trailingPattern);
        out << description + QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
    return out;
}

} // namespace larkspire
