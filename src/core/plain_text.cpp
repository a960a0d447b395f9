#include "core/plain_text.h"

#include <algorithm>

namespace larkspire {

QString withoutControlCharacters(QString text)
{
    const auto isControl = [](QChar c) { return isControlCharacter(c.unicode()); };
    if (std::none_of(text.cbegin(), text.cend(), isControl))
        return text;
    text.removeIf(isControl);
    return text;
}

} // namespace larkspire
