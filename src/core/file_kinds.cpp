#include "core/file_kinds.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace larkspire {

FileKind fileKind(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return FileKind::Missing;
    if (S_ISREG(st.st_mode))
        return FileKind::Regular;
    if (S_ISDIR(st.st_mode))
        return FileKind::Folder;
    return FileKind::Special;
}

QString finalLinkTarget(const QString& path)
{
    QString at = path;
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(at);
        if (!info.isSymLink())
            return at;
        at = info.symLinkTarget(); // absolute, relative links resolved against their folder
    }
    return path;
}

} // namespace larkspire
