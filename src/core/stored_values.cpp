#include "core/stored_values.h"

#include <charconv>
#include <cmath>
#include <string>

namespace larkspire {

double leadingNumericValue(const QString& text)
{
    std::string digits;
    digits.reserve(static_cast<size_t>(std::min<qsizetype>(text.size(), 64)));
    enum { Sign, Int, Frac, ExpSign, Exp } state = Sign;
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c == u' ' || c == u'\t' || c == u'\n')
            continue;
        const bool digit = c >= u'0' && c <= u'9';
        if (state == Sign && (c == u'+' || c == u'-')) {
            digits += static_cast<char>(c);
            state = Int;
        } else if ((state == Sign || state == Int) && digit) {
            digits += static_cast<char>(c);
            state = Int;
        } else if ((state == Sign || state == Int) && c == u'.') {
            digits += '.';
            state = Frac;
        } else if (state == Frac && digit) {
            digits += static_cast<char>(c);
        } else if ((state == Int || state == Frac) && (c == u'e' || c == u'E' || c == u'd' || c == u'D')) {
            digits += 'e';
            state = ExpSign;
        } else if (state == ExpSign && (c == u'+' || c == u'-' || digit)) {
            digits += static_cast<char>(c);
            state = Exp;
        } else if (state == Exp && digit) {
            digits += static_cast<char>(c);
        } else {
            break;
        }
        if (digits.size() > 4096)
            break; // enough digits to decide; the rest cannot change zero / non-zero
    }
    // Drop a dangling exponent mark or sign so that "1e" reads as 1.
    while (!digits.empty() && (digits.back() == 'e' || digits.back() == '+' || digits.back() == '-'))
        digits.pop_back();
    if (digits.empty() || digits == ".")
        return 0.0;
    // Read with "." whatever the user's locale says, as the stored text is ours.
    double sign = 1.0;
    size_t from = 0;
    if (digits[0] == '+' || digits[0] == '-') {
        sign = digits[0] == '-' ? -1.0 : 1.0;
        from = 1;
    }
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(digits.data() + from, digits.data() + digits.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: only zero / non-zero matters here.
        const bool allZero = digits.find_first_of("123456789", from) == std::string::npos ||
                             digits.find_first_of("123456789", from) > digits.find('e');
        return allZero ? 0.0 : sign * HUGE_VAL;
    }
    if (ec != std::errc())
        return 0.0;
    (void)ptr;
    return sign * value;
}

QString joinSymbols(const QStringList& symbols) { return symbols.join(QLatin1Char(';')); }

QStringList splitStoredSymbols(const QString& stored) { return stored.split(QLatin1Char(';')); }

} // namespace larkspire
