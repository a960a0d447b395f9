#include "core/error_report.h"

#include "core/build_info.h"

namespace larkspire {

QString projectStamp() { return QStringLiteral("Quillmere") + QLatin1String(kBuildDate); }

QString supportAddress() { return QString::fromUtf8(kSupportEmail); }

QString procedurePath(const QString& module, const QString& procedure)
{
    return projectStamp() + QLatin1Char('.') + module + QLatin1Char('.') + procedure + QLatin1Char(' ');
}

QString errorReportText(const QString& description, const QString& module, const QString& procedure, int step)
{
    return description + QStringLiteral("\r\n") + QStringLiteral("in ") + procedurePath(module, procedure) +
           QStringLiteral("at line ") + QString::number(step) + QStringLiteral("\r\r") +
           QStringLiteral("Please email screenshot of this message to ") + supportAddress();
}

QString messageForDisplay(const QString& text)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

} // namespace larkspire
