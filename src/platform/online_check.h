#pragma once
#include "platform/cmd_output.h"
#include "platform/dialogs.h"

namespace larkspire {

// One echo request to one well-known public host (by address, so that a
// missing name server cannot hold up the start) with the system's ping.
inline const QString kOnlineCheckCommand = QStringLiteral("ping -c 1 -W 2 8.8.8.8");

// Warns when no reply came: no "bytes from" line in ping's output, also when
// ping is missing, not allowed, or said nothing at all.
void CheckOnline(Dialogs& dialogs, const QString& appTitle, const CaptureOptions& options = {});

} // namespace larkspire
