#include "platform/dialogs.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace larkspire {

QString joinChosenFiles(const QStringList& paths)
{
    if (paths.size() <= 1)
        return paths.value(0);
    const QString folder = QFileInfo(paths.first()).absolutePath();
    QStringList parts{folder};
    for (const QString& path : paths) {
        const QFileInfo info(path);
        parts << (info.absolutePath() == folder ? info.fileName() : info.absoluteFilePath());
    }
    return parts.join(QChar(u'\0'));
}

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
