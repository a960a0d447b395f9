#pragma once
#include <QString>

namespace larkspire {

// "Quillmere" followed by the build date, e.g. "Quillmere2021/08/31".
QString projectStamp();

// The support address that error reports name.
QString supportAddress();

// "Quillmere2021/08/31.Form1.PushButton17_Click " (note the trailing blank).
QString procedurePath(const QString& module, const QString& procedure);

// The exact text of the uniform error report: description, CR LF, "in " and
// the procedure path, "at line " and the step, CR CR, the request to e-mail.
QString errorReportText(const QString& description, const QString& module, const QString& procedure,
                        int step);

inline const QString kErrorReportTitle = QStringLiteral("Application Error");

// A message box shows each CR LF, and each CR on its own, as one line break.
QString messageForDisplay(const QString& text);

} // namespace larkspire
