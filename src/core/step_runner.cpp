#include "core/step_runner.h"

#include "core/error_report.h"

namespace larkspire {

QString describeCurrentException()
{
    try {
        throw;
    } catch (const Failure& f) {
        return f.description();
    } catch (const std::bad_alloc&) {
        return QStringLiteral("Out of memory");
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown failure");
    }
}

void StepRunner::report(int step, const QString& description)
{
    ++m_failures;
    m_dialogs.message(errorReportText(description, m_module, m_procedure, step), kErrorReportTitle,
                      MessageIcon::Warning);
}

} // namespace larkspire
