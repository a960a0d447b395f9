#include "core/settings_store.h"

#include "core/failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

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
    const QString path = filePath(application);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw Failure(QStringLiteral("Cannot create the settings folder for ") + path, 75);
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
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(groupKey(section, key), value);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw Failure(QStringLiteral("Cannot write the settings file ") + path, 75);
}

} // namespace larkspire
