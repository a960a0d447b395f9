#include "quotes/number_format.h"

#include "core/failure.h"

namespace larkspire {

namespace {
// Beyond this many digits before the decimal point a value is past the
// range of a double (about 1.8e308).
constexpr long kMaxIntegerDigits = 309;
} // namespace

std::optional<DecimalNumber> parseDecimal(QStringView text)
{
    text = text.trimmed();
    DecimalNumber number;
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && (text[i] == u'-' || text[i] == u'+')) {
        number.negative = text[i] == u'-';
        ++i;
    }
    bool anyDigit = false;
    long fractionDigits = 0;
    bool inFraction = false;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c >= u'0' && c <= u'9') {
            anyDigit = true;
            if (!(number.digits.empty() && c == u'0'))
                number.digits += static_cast<char>(c);
            if (inFraction)
                ++fractionDigits;
        } else if (c == u'.' && !inFraction) {
            inFraction = true;
        } else {
            break;
        }
    }
    if (!anyDigit)
        return std::nullopt;
    long exponent = 0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        bool expNegative = false;
        if (i < n && (text[i] == u'-' || text[i] == u'+')) {
            expNegative = text[i] == u'-';
            ++i;
        }
        bool expDigit = false;
        for (; i < n && text[i] >= u'0' && text[i] <= u'9'; ++i) {
            expDigit = true;
            if (exponent < 100000000)
                exponent = exponent * 10 + (text[i].unicode() - u'0');
        }
        if (!expDigit)
            return std::nullopt;
        if (expNegative)
            exponent = -exponent;
    }
    if (i != n)
        return std::nullopt;
    // Leading zeros of the fraction were skipped with the integer's: the
    // exponent counts every fraction digit.
    number.exponent = exponent - fractionDigits;
    // Trailing zeros carry no value; dropping them keeps the digits short.
    while (!number.digits.empty() && number.digits.back() == '0') {
        number.digits.pop_back();
        ++number.exponent;
    }
    if (number.digits.empty())
        number.exponent = 0;
    return number;
}

QString NumberFormats::format(const DecimalNumber& number, long shift, bool grouped) const
{
    // Hundredths, rounded half away from zero.
    std::string hundredths;
    const long e = number.exponent + shift + 2;
    const long len = static_cast<long>(number.digits.size());
    if (number.digits.empty()) {
        hundredths = "0";
    } else if (e >= 0) {
        hundredths = number.digits + std::string(static_cast<size_t>(e), '0');
    } else {
        const long keep = len + e; // digits before the rounding digit
        if (keep < 0) {
            hundredths = "0";
        } else {
            hundredths = number.digits.substr(0, static_cast<size_t>(keep));
            if (number.digits[static_cast<size_t>(keep)] >= '5') {
                int k = static_cast<int>(hundredths.size()) - 1;
                while (k >= 0 && hundredths[static_cast<size_t>(k)] == '9')
                    hundredths[static_cast<size_t>(k--)] = '0';
                if (k < 0)
                    hundredths.insert(hundredths.begin(), '1');
                else
                    ++hundredths[static_cast<size_t>(k)];
            }
            if (hundredths.empty())
                hundredths = "0";
        }
    }
    while (hundredths.size() < 3)
        hundredths.insert(hundredths.begin(), '0');
    const bool zero = hundredths.find_first_not_of('0') == std::string::npos;
    const std::string integer = hundredths.substr(0, hundredths.size() - 2);
    const std::string fraction = hundredths.substr(hundredths.size() - 2);

    QString out;
    out.reserve(static_cast<qsizetype>(integer.size() * 4 / 3 + 8));
    if (number.negative && !zero)
        out += m_locale.negativeSign();
    const QString group = m_locale.groupSeparator();
    for (size_t i = 0; i < integer.size(); ++i) {
        if (grouped && i > 0 && (integer.size() - i) % 3 == 0)
            out += group;
        out += QLatin1Char(integer[i]);
    }
    out += m_locale.decimalPoint();
    out += QLatin1String(fraction.data(), static_cast<qsizetype>(fraction.size()));
    return out;
}

QString NumberFormats::standard(const QString& text) const
{
    const auto number = parseDecimal(text);
    if (!number)
        return text;
    if (!number->digits.empty() && number->exponent + static_cast<long>(number->digits.size()) > kMaxIntegerDigits)
        return text; // not a number a double could hold
    return format(*number, 0, true);
}

QString NumberFormats::billions(const QString& text) const
{
    const auto number = parseDecimal(text);
    if (!number)
        throw Failure(QStringLiteral("Type mismatch"), 13);
    if (!number->digits.empty() && number->exponent + static_cast<long>(number->digits.size()) > kMaxIntegerDigits)
        throw Failure(QStringLiteral("Overflow"), 6);
    return format(*number, -9, false) + QLatin1Char('B');
}

bool isJsonNumber(QStringView text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto digits = [&] {
        const qsizetype from = i;
        while (i < n && text[i] >= u'0' && text[i] <= u'9')
            ++i;
        return i - from;
    };
    if (i < n && text[i] == u'-')
        ++i;
    if (i < n && text[i] == u'0')
        ++i;
    else if (digits() == 0)
        return false;
    if (i < n && text[i] == u'.') {
        ++i;
        if (digits() == 0)
            return false;
    }
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < n && (text[i] == u'+' || text[i] == u'-'))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == n;
}

QString timesHundred(QStringView jsonNumber)
{
    if (!isJsonNumber(jsonNumber))
        return QString();
    const bool negative = jsonNumber.startsWith(u'-');
    QStringView rest = jsonNumber.mid(negative ? 1 : 0);
    long exponent = 0;
    const qsizetype e = std::max(rest.indexOf(u'e'), rest.indexOf(u'E'));
    if (e >= 0) {
        bool ok = false;
        exponent = rest.mid(e + 1).toString().toLong(&ok);
        if (!ok) // an exponent past any number's: no value
            return QString();
        if (exponent > 400 || exponent < -400) // no sensible percentage: the page's digits, the exponent moved
            return (negative ? QStringLiteral("-") : QString()) + rest.left(e).toString() + QLatin1Char('e') +
                   QString::number(exponent + 2);
        rest = rest.left(e);
    }
    const qsizetype point = rest.indexOf(u'.');
    const QString integer = (point < 0 ? rest : rest.left(point)).toString();
    const QString fraction = point < 0 ? QString() : rest.mid(point + 1).toString();
    QString digits = integer + fraction;
    qsizetype at = integer.size() + exponent + 2; // where the point stands in `digits`
    if (at <= 0) {
        digits.prepend(QString(-at, QLatin1Char('0')));
        at = 0;
    } else if (at > digits.size()) {
        digits.append(QString(at - digits.size(), QLatin1Char('0')));
    }
    QString whole = digits.left(at);
    const QString part = digits.mid(at);
    while (whole.size() > 1 && whole.startsWith(QLatin1Char('0')))
        whole.remove(0, 1);
    if (whole.isEmpty())
        whole = QStringLiteral("0");
    return (negative ? QStringLiteral("-") : QString()) + whole + (part.isEmpty() ? QString() : QLatin1Char('.') + part);
}

} // namespace larkspire
