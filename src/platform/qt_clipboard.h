#pragma once
#include "platform/clipboard.h"

namespace larkspire {

// Qt's clipboard; an attempt counts when the clipboard reads back as asked.
class QtClipboard final : public Clipboard {
public:
    bool tryClear() override;
    bool trySetText(const QString& text) override;
};

} // namespace larkspire
