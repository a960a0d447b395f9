#pragma once
// Dialogs answered from a script: every box shown is recorded, prompts and
// file dialogs take their answers from queues (Cancel when a queue is empty).
#include "platform/dialogs.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

namespace larkspire::test {

struct ShownMessage {
    QString text;
    QString title;
    MessageIcon icon;
};

class ScriptedDialogs final : public Dialogs {
public:
    void message(const QString& text, const QString& title, MessageIcon icon) override
    {
        messages.push_back({text, title, icon});
    }
    QString inputText(const QString& prompt, const QString& title) override
    {
        prompts.push_back({prompt, title});
        return take(inputAnswers);
    }
    QString openFileNames(const FileDialogRequest& request) override
    {
        openRequests.push_back(request);
        return take(openAnswers);
    }
    QString saveFileName(const FileDialogRequest& request) override
    {
        saveRequests.push_back(request);
        return take(saveAnswers);
    }

    QStringList messageTexts() const
    {
        QStringList out;
        for (const auto& m : messages)
            out << m.text;
        return out;
    }

    std::vector<ShownMessage> messages;
    std::vector<std::pair<QString, QString>> prompts;
    std::vector<FileDialogRequest> openRequests;
    std::vector<FileDialogRequest> saveRequests;
    std::deque<QString> inputAnswers;
    std::deque<QString> openAnswers;
    std::deque<QString> saveAnswers;

private:
    static QString take(std::deque<QString>& queue)
    {
        if (queue.empty())
            return QString();
        QString v = queue.front();
        queue.pop_front();
        return v;
    }
};

} // namespace larkspire::test
