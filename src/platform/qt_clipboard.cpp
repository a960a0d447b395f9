#include "platform/qt_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace larkspire {

bool QtClipboard::tryClear()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    clipboard->clear();
    return clipboard->text().isEmpty();
}

bool QtClipboard::trySetText(const QString& text)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    clipboard->setText(text);
    return clipboard->text() == text;
}

} // namespace larkspire
