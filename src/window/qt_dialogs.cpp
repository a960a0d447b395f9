#include "window/qt_dialogs.h"

#include "core/error_report.h"
#include "window/input_hold.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QEventLoop>
#include <QKeySequence>
#include <QShortcut>

#include <utility>

namespace larkspire {

namespace {

// While a message box is up, input meant for any other window of the
// program is dropped, as a modal box does; yet the window behind it still
// hears a close, from the window manager or its own close key.
class OnlyTheBox final : public QObject {
public:
    explicit OnlyTheBox(QWidget* box) : m_box(box) { QCoreApplication::instance()->installEventFilter(this); }
    ~OnlyTheBox() override { QCoreApplication::instance()->removeEventFilter(this); }
    OnlyTheBox(const OnlyTheBox&) = delete;
    OnlyTheBox& operator=(const OnlyTheBox&) = delete;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!isUserInput(event->type()))
            return false;
        if (event->type() == QEvent::Shortcut && inputDuringFetch(watched) == DuringFetch::Pass)
            return false; // the close key
        const QWidget* widget = widgetOf(watched);
        return widget && widget->window() != m_box;
    }

private:
    QWidget* m_box;
};

} // namespace

void QtDialogs::endAll()
{
    m_ending = true;
    if (m_openBox)
        m_openBox->reject();
    if (QWidget* open = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(open))
            dialog->reject();
        else
            open->close();
    }
}

void QtDialogs::message(const QString& text, const QString& title, MessageIcon icon)
{
    if (m_ending)
        return;
    QMessageBox box(icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon, title,
                    messageForDisplay(text), QMessageBox::Ok, m_parent);
    box.setTextFormat(Qt::PlainText);
    if (!m_parent) {
        box.exec();
        return;
    }
    // Modal to the user's input, not to the window system: a close of the
    // window behind the box ends the program, the box included.
    box.setWindowModality(Qt::NonModal);
    const OnlyTheBox onlyTheBox(&box);
    QPointer<QWidget> window = m_parent;
    auto* closeKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), &box);
    QObject::connect(closeKey, &QShortcut::activated, &box, [window] {
        if (window)
            window->close();
    });
    QEventLoop loop;
    QObject::connect(&box, &QDialog::finished, &loop, &QEventLoop::quit);
    const QPointer<QDialog> outer = std::exchange(m_openBox, &box);
    box.show();
    // Shown as a modal box would be: in front, with the keyboard.
    box.raise();
    box.activateWindow();
    if (!m_ending && box.isVisible())
        loop.exec(QEventLoop::DialogExec);
    m_openBox = outer;
}

QString QtDialogs::inputText(const QString& prompt, const QString& title)
{
    if (m_ending)
        return QString();
    bool ok = false;
    const QString text = QInputDialog::getText(m_parent, title, prompt, QLineEdit::Normal, QString(), &ok);
    return ok ? text : QString();
}

OpenFilesDialog::OpenFilesDialog(QWidget* parent, const QString& title) : QFileDialog(parent, title)
{
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFiles);
    // Our own accept() decides: the platform's native dialog would not ask it.
    setOption(QFileDialog::DontUseNativeDialog, true);
}

void OpenFilesDialog::accept()
{
    const QStringList files = selectedFiles();
    const bool oneFolder = files.size() == 1 && QFileInfo(files.first()).isDir();
    bool allExist = !files.isEmpty();
    for (const QString& f : files)
        allExist = allExist && QFileInfo::exists(f);
    if (files.isEmpty() || oneFolder || allExist) {
        // Qt's own handling: open a typed folder, or accept existing files.
        QFileDialog::accept();
        if (result() == QDialog::Accepted)
            m_chosen = selectedFiles();
        return;
    }
    m_chosen = files;
    QDialog::accept();
}

QString QtDialogs::startFolder() const
{
    // The user's home at first, then the folder last used in this session;
    // never the folder the program happened to be started from.
    return !m_lastFolder.isEmpty() && QFileInfo(m_lastFolder).isDir() ? m_lastFolder : QDir::homePath();
}

QString QtDialogs::openFileNames(const FileDialogRequest& request)
{
    if (m_ending)
        return QString();
    OpenFilesDialog dialog(m_parent, request.title);
    dialog.setNameFilters(nameFiltersFromPipeList(request.filter));
    dialog.setDirectory(startFolder());
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    if (!dialog.chosen().isEmpty())
        m_lastFolder = QFileInfo(dialog.chosen().first()).absolutePath();
    return joinChosenFiles(dialog.chosen());
}

QString QtDialogs::saveFileName(const FileDialogRequest& request)
{
    if (m_ending)
        return QString();
    QFileDialog dialog(m_parent, request.title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(nameFiltersFromPipeList(request.filter));
    // Replacing an existing file is confirmed by the dialog.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setDirectory(startFolder());
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList files = dialog.selectedFiles();
    if (!files.isEmpty())
        m_lastFolder = QFileInfo(files.first()).absolutePath();
    return files.isEmpty() ? QString() : files.first();
}

} // namespace larkspire
