#pragma once
#include <QString>

namespace larkspire {

enum class MessageIcon { None, Warning };

// Where the uniform error report and other messages are shown: a message
// box with an OK button only, in the real program.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void message(const QString& text, const QString& title, MessageIcon icon) = 0;
};

} // namespace larkspire
