#pragma once
// The per-user settings store: text values addressed by application, section
// and key, kept in one INI file per application below a configuration folder
// (the XDG config folder for the real program, a temporary folder in tests).
#include <QString>

namespace larkspire {

// A settings file larger than this is neither read nor written: a list of
// two million symbols fits well below it.
constexpr qint64 kMaxSettingsBytes = 32LL << 20;

class SettingsStore final {
public:
    explicit SettingsStore(QString configFolder);

    // The stored text, or `fallback` when the key was never written. A file
    // that cannot be read is a failure; a damaged one reads as empty.
    QString read(const QString& application, const QString& section, const QString& key,
                 const QString& fallback) const;
    // Stores the text and puts it on disk before returning; a failure leaves
    // the stored value as it was and is thrown.
    void write(const QString& application, const QString& section, const QString& key, const QString& value);

    QString filePath(const QString& application) const;

private:
    QString m_folder;
};

// The symbol list the window keeps, as stored (one text joined by ";").
QString readStoredSymbols(const SettingsStore& store);

} // namespace larkspire
