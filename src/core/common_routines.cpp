#include "core/common_routines.h"

#include "core/failure.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

namespace larkspire {

bool FileExists(const QString& path)
{
    if (path.isEmpty() || path.contains(QChar(u'\0')))
        return false;
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

QString FileNameFromPath(const QString& path)
{
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return cut < 0 ? path : path.mid(cut + 1);
}

namespace {
QString foldPairs(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        out.append(text[i]);
        if (text[i] == QLatin1Char('/') && i + 1 < text.size() && text[i + 1] == QLatin1Char('/'))
            ++i;
    }
    return out;
}
} // namespace

QString NormalizePath(const QString& path)
{
    if (!path.startsWith(QLatin1Char('/')))
        return foldPairs(path);
    qsizetype k = 0;
    while (k < path.size() && path[k] == QLatin1Char('/'))
        ++k;
    // Linux has no network paths behind a doubled leading separator: the
    // leading run is one root "/", so a folder "/" joined with "/a.txt"
    // comes out as "/a.txt".
    return QLatin1Char('/') + foldPairs(QStringView(path).mid(k));
}

QString AppTitleFromProductTitle(const QString& productTitle)
{
    QString title = productTitle;
    while (title.size() > 40) {
        const qsizetype blank = title.lastIndexOf(QLatin1Char(' '));
        if (blank < 0)
            throw Failure(QStringLiteral("Invalid procedure call or argument"), 5);
        title.truncate(blank);
    }
    return title;
}

QString usableTempFolder()
{
    const QString qt = QDir::tempPath(); // empty when TMPDIR names no folder
    const QFileInfo info(qt);
    if (!qt.isEmpty() && info.isDir() && info.isWritable())
        return qt;
    return QStringLiteral("/tmp");
}

} // namespace larkspire
