#include "window/qt_dialogs.h"

#include "core/error_report.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>

namespace larkspire {

void QtDialogs::message(const QString& text, const QString& title, MessageIcon icon)
{
    QMessageBox box(icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon, title,
                    messageForDisplay(text), QMessageBox::Ok, m_parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QString QtDialogs::inputText(const QString& prompt, const QString& title)
{
    bool ok = false;
    const QString text = QInputDialog::getText(m_parent, title, prompt, QLineEdit::Normal, QString(), &ok);
    return ok ? text : QString();
}

QString QtDialogs::openFileNames(const FileDialogRequest& request)
{
    QFileDialog dialog(m_parent, request.title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(nameFiltersFromPipeList(request.filter));
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return QString();
    if (files.size() == 1)
        return files.first();
    // Several files: the folder, then each name, joined with NUL.
    QStringList parts{QDir::toNativeSeparators(QFileInfo(files.first()).absolutePath())};
    for (const QString& f : files)
        parts << QFileInfo(f).fileName();
    return parts.join(QChar(u'\0'));
}

QString QtDialogs::saveFileName(const FileDialogRequest& request)
{
    QFileDialog dialog(m_parent, request.title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(nameFiltersFromPipeList(request.filter));
    // Replacing an existing file is confirmed by the dialog.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

} // namespace larkspire
