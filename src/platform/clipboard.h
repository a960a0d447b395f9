#pragma once
#include <QString>

namespace larkspire {

// The system clipboard, as plain text. Each attempt says whether it took.
class Clipboard {
public:
    virtual ~Clipboard() = default;
    virtual bool tryClear() = 0;
    virtual bool trySetText(const QString& text) = 0;
};

} // namespace larkspire
