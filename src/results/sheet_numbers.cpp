#include "results/sheet_numbers.h"

#include "core/failure.h"

namespace larkspire {

namespace {

// "-12.50" and the like: digits, at most one point, no exponent, no
// leading zero before another digit.
bool isPlainDecimal(const QString& text) { return isJsonNumber(text) && !text.contains(QLatin1Char('e')) && !text.contains(QLatin1Char('E')); }

double valueOf(const QString& jsonNumber)
{
    static const QLocale c = QLocale::c();
    bool ok = false;
    const double v = c.toDouble(jsonNumber, &ok);
    return ok ? v : 0;
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
        return NumberCell{valueOf(shown), decimals == 0 ? QStringLiteral("0")
                                                        : QStringLiteral("0.") + QString(decimals, QLatin1Char('0'))};
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

} // namespace larkspire
