#pragma once
// Text from outside the program (a page, a server's answer, an argument)
// made fit to show anywhere: in the window, a file, the clipboard or a
// terminal, where a control character could move the cursor, clear the
// screen or set the clipboard.
#include <QString>

namespace larkspire {

// Whether the character is a C0 control (TAB and line breaks included),
// DEL or a C1 control.
constexpr bool isControlCharacter(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// The text without its control characters and its format characters
// (Unicode category Cf: bidi controls, direction marks, U+FEFF).
QString withoutControlCharacters(QString text);

// The text without the characters `blank` holds true for at either end.
template <class Blank> QStringView trimmedBy(QStringView text, Blank blank)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && blank(text[from]))
        ++from;
    while (to > from && blank(text[to - 1]))
        --to;
    return text.mid(from, to - from);
}

// The value of a hexadecimal digit, -1 for any other character.
inline int hexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

} // namespace larkspire
