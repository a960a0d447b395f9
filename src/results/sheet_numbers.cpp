#include "results/sheet_numbers.h"

#include "core/failure.h"

#include <array>
#include <charconv>

namespace larkspire {

namespace {

// "-12.50" and the like: digits, at most one point, no exponent, no
// leading zero before another digit.
bool isPlainDecimal(const QString& text) { return isJsonNumber(text) && !text.contains(QLatin1Char('e')) && !text.contains(QLatin1Char('E')); }

// The nearest double to a JSON number's digits (checked by the caller).
// from_chars rounds exactly as the locale's parser does, at a fraction of
// its cost: a sheet of 100,000 rows reads 800,000 of them.
double valueOf(const QString& jsonNumber)
{
    char digits[64];
    const qsizetype n = jsonNumber.size();
    if (n >= qsizetype(sizeof digits)) { // rare: the locale's parser takes any length
        bool ok = false;
        const double v = QLocale::c().toDouble(jsonNumber, &ok);
        return ok ? v : 0;
    }
    for (qsizetype i = 0; i < n; ++i)
        digits[i] = char(jsonNumber[i].unicode()); // plain ASCII: a JSON number
    double v = 0;
    const auto [end, error] = std::from_chars(digits, digits + n, v);
    return error == std::errc() && end == digits + n ? v : 0;
}

} // namespace

std::optional<NumberCell> numberCellOf(const QString& shown, const QString& raw, const NumberFormats& formats)
{
    if (shown.isEmpty())
        return std::nullopt;
    if (isPlainDecimal(shown)) {
        const qsizetype point = shown.indexOf(QLatin1Char('.'));
        const qsizetype decimals = point < 0 ? 0 : shown.size() - point - 1;
        if (decimals > 15)
            return std::nullopt; // more than a spreadsheet's number holds
        // Made once: a sheet compares a cell's format with those it has by place first.
        static const std::array<QString, 16> kDecimalFormats = [] {
            std::array<QString, 16> f;
            f[0] = QStringLiteral("0");
            for (size_t d = 1; d < f.size(); ++d)
                f[d] = QStringLiteral("0.") + QString(qsizetype(d), QLatin1Char('0'));
            return f;
        }();
        return NumberCell{valueOf(shown), kDecimalFormats[size_t(decimals)]};
    }
    if (!isJsonNumber(raw))
        return std::nullopt;
    if (shown == formats.standard(raw))
        return NumberCell{valueOf(raw), QStringLiteral("#,##0.00")};
    try {
        if (shown == formats.billions(raw))
            return NumberCell{valueOf(raw), QStringLiteral("0.00,,,\"B\"")};
    } catch (const Failure&) {
    }
    return std::nullopt;
}

ResultCell resultCellOf(const QString& text, const QString& raw, int column, const NumberFormats& formats)
{
    if (column == 1)
        return {std::nullopt, text};
    if (auto number = numberCellOf(text, raw, formats))
        return {std::move(number), text};
    QString value = text;
    value.remove(QLatin1Char('='));
    return {std::nullopt, value};
}

} // namespace larkspire
