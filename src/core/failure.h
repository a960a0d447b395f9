#pragma once
// Failures inside a numbered step travel as exceptions; the step helper turns
// them into the uniform error report and goes on with the next step.
#include <QString>
#include <exception>

namespace larkspire {

class Failure : public std::exception {
public:
    explicit Failure(QString description, int code = 0)
        : m_description(std::move(description)), m_code(code), m_utf8(m_description.toUtf8()) {}
    const QString& description() const noexcept { return m_description; }
    int code() const noexcept { return m_code; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    int m_code;
    QByteArray m_utf8;
};

// Thrown out of an event pump once the window has gone: the running
// operation unwinds quietly, reporting nothing and touching nothing more.
class Abandoned : public std::exception {
public:
    const char* what() const noexcept override { return "operation abandoned"; }
};

} // namespace larkspire
