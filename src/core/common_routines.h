#pragma once
// Small path and title routines of the module Main. On Linux the separator
// is "/"; FileNameFromPath also cuts at "\" so that texts written with
// either separator give their last element.
#include <QString>

namespace larkspire {

// Whether the path names something that exists (a file or a folder).
bool FileExists(const QString& path);
// The text after the last "/" or "\"; the whole text when it has none.
QString FileNameFromPath(const QString& path);
// Folds each pair of adjacent "/" into one (a run of n becomes (n + 1) / 2);
// a leading run of separators becomes the single root "/".
QString NormalizePath(const QString& path);
// Shortens a title to at most 40 characters by cutting at its last blanks.
// Throws when a cut is needed and no blank is left.
QString AppTitleFromProductTitle(const QString& productTitle);

// The folder for temporary files: TMPDIR (Qt's temporary folder) when it is
// a writable folder, else the system's /tmp, never an empty path.
QString usableTempFolder();

inline const QString kProductTitle = QStringLiteral("Larkspire");

} // namespace larkspire
