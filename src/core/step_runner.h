#pragma once
// Runs the numbered steps of a trapped handler: a step that fails is shown as
// the uniform error report and the handler goes on with the next step.
#include "core/failure.h"
#include "core/message_sink.h"

#include <new>
#include <utility>

namespace larkspire {

QString describeCurrentException();

class StepRunner {
public:
    StepRunner(MessageSink& dialogs, QString module, QString procedure)
        : m_dialogs(dialogs), m_module(std::move(module)), m_procedure(std::move(procedure)) {}

    // Runs f as step `step`; returns true when it completed.
    template <class F> bool operator()(int step, F&& f)
    {
        try {
            std::forward<F>(f)();
            return true;
        } catch (const Abandoned&) {
            throw;
        } catch (...) {
            report(step, describeCurrentException());
            return false;
        }
    }

    void report(int step, const QString& description);
    int failures() const { return m_failures; }

private:
    MessageSink& m_dialogs;
    QString m_module;
    QString m_procedure;
    int m_failures = 0;
};

} // namespace larkspire
