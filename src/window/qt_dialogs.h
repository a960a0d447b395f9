#pragma once
#include "platform/dialogs.h"

#include <QFileDialog>
#include <QPointer>

namespace larkspire {

// The open dialog for one or several files. Qt's own refuses a typed name of
// a file that does not exist with a box of its own; this one passes it on,
// so that the program says "File not found" itself. Typed folders are still
// opened, and names may come from several folders.
class OpenFilesDialog final : public QFileDialog {
    Q_OBJECT
public:
    OpenFilesDialog(QWidget* parent, const QString& title);
    // The chosen paths once accepted.
    QStringList chosen() const { return m_chosen; }
    void accept() override;

private:
    QStringList m_chosen;
};

// The real dialogs: Qt message boxes, input prompt and file dialogs.
class QtDialogs final : public Dialogs {
public:
    void setParentWindow(QWidget* window) { m_parent = window; }
    // The program is ending: the open box gives way, and no other is shown.
    void endAll() override;
    void message(const QString& text, const QString& title, MessageIcon icon) override;
    QString inputText(const QString& prompt, const QString& title) override;
    QString openFileNames(const FileDialogRequest& request) override;
    QString saveFileName(const FileDialogRequest& request) override;

private:
    QWidget* m_parent = nullptr;
    bool m_ending = false;
    QPointer<QDialog> m_openBox; // the message box shown now
    QString m_lastFolder;        // where the last file dialog was answered
    QString startFolder() const;
};

} // namespace larkspire
