#include "platform/online_check.h"

namespace larkspire {

void CheckOnline(Dialogs& dialogs, const QString& appTitle, const CaptureOptions& options)
{
    const QString output = RunAndCaptureOutput(kOnlineCheckCommand, true, false, true, options);
    // An empty text means the command has ended with nothing to say: that
    // is no reply either, and nothing more is waited for.
    if (!output.contains(QStringLiteral("bytes from"), Qt::CaseInsensitive))
        dialogs.message(QStringLiteral("You must be online to use this software accurately."), appTitle,
                        MessageIcon::None);
}

} // namespace larkspire
