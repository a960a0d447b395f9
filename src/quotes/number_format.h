#pragma once
// The two number formats of the results list, worked out on the decimal
// digits of the text itself so that no figure is changed by a trip through
// binary floating point:
//  - "Standard": thousands separators and exactly two decimals;
//  - "Fixed": no separators, at least one digit before the decimal
//    separator, exactly two decimals.
// Values exactly half-way between two hundredths round away from zero
// (1.005 -> 1.01, 2.675 -> 2.68, 0.125 -> 0.13, -0.125 -> -0.13). A value that
// rounds to zero is shown without a sign. Separators follow the given locale
// (the user's number settings); the texts read are always JSON numbers, with
// "." as the decimal point whatever the locale says.
#include <QLocale>
#include <QString>

#include <optional>
#include <string>

namespace larkspire {

struct DecimalNumber {
    bool negative = false;
    std::string digits; // no leading zeros; empty means zero
    long exponent = 0;  // value = digits * 10^exponent
};

// Reads "-12.5", "145.37", "3.1e5", " 42 "; nothing for anything else
// (null, "", "1,000", "NaN", hex, text).
std::optional<DecimalNumber> parseDecimal(QStringView text);

// Whether the text is exactly one JSON number: "-1.5", "0", "2.5e-3"; not
// "+1", "01", ".5", "1.", " 1" or "NaN".
bool isJsonNumber(QStringView text);

// A JSON number multiplied by 100 with its own digits (no trip through
// binary floating point): "-0.0163993" gives "-1.63993", "2.5e-3" "0.25".
QString timesHundred(QStringView jsonNumber);

class NumberFormats final {
public:
    explicit NumberFormats(QLocale locale = QLocale::system()) : m_locale(std::move(locale)) {}

    // The text in "Standard" when it reads as a number, else unchanged.
    QString standard(const QString& text) const;
    // The number divided by 10^9 in "Fixed", followed by "B". Throws
    // "Type mismatch" when the text does not read as a number, "Overflow"
    // when it is beyond the range of a double.
    QString billions(const QString& text) const;

    // Formats a number scaled by 10^shift with two decimals.
    QString format(const DecimalNumber& number, long shift, bool grouped) const;

private:
    QLocale m_locale;
};

} // namespace larkspire
