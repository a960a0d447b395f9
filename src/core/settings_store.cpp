#include "core/settings_store.h"

#include "core/failure.h"
#include "core/file_kinds.h"
#include "core/stored_values.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QDateTime>
#include <QSettings>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace larkspire {

namespace {

QString groupKey(const QString& section, const QString& key)
{
    return section + QLatin1Char('/') + key;
}

QString valueText(const QVariant& v)
{
    // A hand-edited file may hold "a, b", which the INI reader turns into a list.
    if (v.userType() == QMetaType::QStringList)
        return v.toStringList().join(QStringLiteral(", "));
    return v.toString();
}

QString tooLarge(const QString& path)
{
    return QStringLiteral("The settings file is larger than %1 MB and was left as it is: ").arg(kMaxSettingsBytes >> 20) +
           path;
}

// Whether the file holds exactly these keys, and this value for one of them,
// as read from the disk. A second name for the same file keeps the settings
// cache, which remembers what was meant to be written, out of the way.
bool readsBackAs(const QString& path, const QStringList& keys, const QString& key, const QString& value)
{
    const QString second = path + QStringLiteral(".check");
    QFile::remove(second);
    if (::link(QFile::encodeName(path).constData(), QFile::encodeName(second).constData()) != 0)
        return false;
    bool same = false;
    {
        QSettings check(second, QSettings::IniFormat);
        QStringList found = check.allKeys();
        QStringList expected = keys;
        found.sort();
        expected.sort();
        same = check.status() == QSettings::NoError && found == expected && valueText(check.value(key)) == value;
    }
    QFile::remove(second);
    return same;
}

// The settings cache notices a changed file by its size and modification
// time; the new file must not show the old one's time, or a value of the
// same length would go unnoticed by a reader in this process.
void keepTimeApart(const QString& fresh, const QString& old)
{
    const QFileInfo before(old);
    if (!before.exists())
        return;
    QFile file(fresh);
    const QDateTime oldTime = before.lastModified();
    if (QFileInfo(fresh).lastModified() == oldTime && file.open(QIODevice::ReadWrite))
        file.setFileTime(oldTime.addMSecs(1), QFileDevice::FileModificationTime);
}

} // namespace

SettingsStore::SettingsStore(QString configFolder) : m_folder(std::move(configFolder)) {}

QString SettingsStore::filePath(const QString& application) const
{
    return m_folder + QLatin1Char('/') + application + QLatin1Char('/') + application + QStringLiteral(".conf");
}

QString SettingsStore::read(const QString& application, const QString& section, const QString& key,
                            const QString& fallback) const
{
    const QString path = filePath(application);
    const QFileInfo info(path);
    if (info.exists() && (!info.isFile() || !info.isReadable()))
        throw Failure(QStringLiteral("Cannot read the settings file ") + path, 75);
    if (info.size() > kMaxSettingsBytes)
        throw Failure(tooLarge(path), 75);
    QSettings settings(path, QSettings::IniFormat);
    const QVariant v = settings.value(groupKey(section, key));
    if (settings.status() == QSettings::AccessError)
        throw Failure(QStringLiteral("Cannot read the settings file ") + path, 75);
    if (!v.isValid())
        return fallback;
    return valueText(v);
}

void SettingsStore::write(const QString& application, const QString& section, const QString& key,
                          const QString& value)
{
    // A settings file that is a link (kept with the user's other dotfiles)
    // stays one: the file it points to is the one written.
    const QString path = finalLinkTarget(filePath(application));
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        throw Failure(QStringLiteral("Cannot create the settings folder for ") + path, 75);
    const QFileInfo existing(path);
    if (existing.exists() && (!existing.isFile() || !existing.isWritable()))
        throw Failure(QStringLiteral("Cannot write the settings file ") + path, 75);
    if (existing.size() > kMaxSettingsBytes)
        throw Failure(tooLarge(path), 75);
    {
        // A damaged file would refuse every write from now on: it is kept
        // beside as "….damaged" and a new one is started.
        QSettings probe(path, QSettings::IniFormat);
        (void)probe.childGroups();
        if (probe.status() == QSettings::FormatError) {
            const QString aside = path + QStringLiteral(".damaged");
            QFile::remove(aside);
            if (!QFile::rename(path, aside))
                throw Failure(QStringLiteral("Cannot replace the damaged settings file ") + path, 75);
        }
    }
    const auto cannotWrite = [&](const QString& why) {
        return Failure(QStringLiteral("Cannot write the settings file ") + path +
                           (why.isEmpty() ? QString() : QStringLiteral(": ") + why),
                       75);
    };

    // The new file is made beside the old one and checked as read back from
    // the disk before it takes the old one's place: a full disk or a failed
    // write leaves the stored values exactly as they were.
    QTemporaryFile staged(folder + QLatin1Char('/') + application + QStringLiteral(".XXXXXX.tmp"));
    if (!staged.open())
        throw cannotWrite(staged.errorString());
    {
        QFile old(path);
        if (old.exists()) {
            if (!old.open(QIODevice::ReadOnly))
                throw cannotWrite(old.errorString());
            const QByteArray bytes = old.readAll();
            if (staged.write(bytes) != bytes.size() || !staged.flush())
                throw cannotWrite(staged.errorString());
        }
    }
    staged.close();
    const QString stagedPath = staged.fileName();
    QStringList keys;
    {
        QSettings settings(stagedPath, QSettings::IniFormat);
        settings.setValue(groupKey(section, key), value);
        settings.sync();
        if (settings.status() != QSettings::NoError)
            throw cannotWrite(QString());
        keys = settings.allKeys();
    }
    if (!readsBackAs(stagedPath, keys, groupKey(section, key), value))
        throw cannotWrite(QStringLiteral("the disk may be full"));
    keepTimeApart(stagedPath, path);
    if (existing.exists())
        QFile::setPermissions(stagedPath, existing.permissions());
    if (::rename(QFile::encodeName(stagedPath).constData(), QFile::encodeName(path).constData()) != 0)
        throw cannotWrite(qt_error_string(errno));
    staged.setAutoRemove(false);
}

QString readStoredSymbols(const SettingsStore& store)
{
    return store.read(kSettingsApplication, kSettingsSection, kKeyStockQuotes, QString());
}

} // namespace larkspire
