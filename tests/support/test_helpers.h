#pragma once
#include <QStringList>

#include <initializer_list>

namespace larkspire::test {

// A list of texts written as UTF-8 literals.
inline QStringList texts(std::initializer_list<const char*> items)
{
    QStringList out;
    for (const char* i : items)
        out << QString::fromUtf8(i);
    return out;
}

} // namespace larkspire::test
