#include "core/plain_text.h"

#include <algorithm>

namespace larkspire {

QString withoutControlCharacters(QString text)
{
    // Format characters (bidi embeddings, overrides and isolates, direction
    // marks, the byte-order mark) are as invisible and can make "Acme 99.01
    // Corp" read as "Acme 10.99 Corp": they go too.
    const auto isControl = [](QChar c) {
        return isControlCharacter(c.unicode()) || (c.unicode() >= 0xAD && c.category() == QChar::Other_Format);
    };
    if (std::none_of(text.cbegin(), text.cend(), isControl))
        return text;
    text.removeIf(isControl);
    return text;
}

} // namespace larkspire
