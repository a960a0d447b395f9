#pragma once
#include "platform/dialogs.h"

class QWidget;

namespace larkspire {

// The real dialogs: Qt message boxes, input prompt and file dialogs.
class QtDialogs final : public Dialogs {
public:
    void setParentWindow(QWidget* window) { m_parent = window; }
    void message(const QString& text, const QString& title, MessageIcon icon) override;
    QString inputText(const QString& prompt, const QString& title) override;
    QString openFileNames(const FileDialogRequest& request) override;
    QString saveFileName(const FileDialogRequest& request) override;

private:
    QWidget* m_parent = nullptr;
};

} // namespace larkspire
