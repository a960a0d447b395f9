#pragma once
#include "core/message_sink.h"

#include <QString>

namespace larkspire {

// What a file dialog is asked for, in the terms the window's handlers use:
// the caption and a filter text of "description|pattern|" pairs.
struct FileDialogRequest {
    QString title;
    QString filter;
};

// Modal dialogs. The real implementation shows Qt dialogs; tests answer them
// from a script so that no test ever blocks on a modal box.
class Dialogs : public MessageSink {
public:
    // A text prompt with OK and Cancel: the text typed, or "" on Cancel.
    virtual QString inputText(const QString& prompt, const QString& title) = 0;
    // Open dialog allowing several files, as joinChosenFiles gives them; ""
    // on Cancel. A typed name is passed on whether or not the file exists.
    virtual QString openFileNames(const FileDialogRequest& request) = 0;
    // Save dialog: the chosen path or "" on Cancel. It asks before replacing
    // an existing file.
    virtual QString saveFileName(const FileDialogRequest& request) = 0;
    // The program is ending: an open box gives way at once, and no other
    // box or dialog is shown from now on.
    virtual void endAll() {}
};

// What an open dialog hands back for the chosen paths: "" for none, the path
// itself for one, else the folder of the first followed by each name, all
// joined with NUL. A file from another folder than the first stands with its
// full path among the names.
QString joinChosenFiles(const QStringList& paths);

// "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|" as a Qt name filter list
// ("*.*" means every file, as it does on the desktops these lists come from).
QStringList nameFiltersFromPipeList(const QString& filter);

} // namespace larkspire
