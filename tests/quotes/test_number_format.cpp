#include "core/failure.h"
#include "quotes/number_format.h"

#include <gtest/gtest.h>

using namespace larkspire;

namespace {
const NumberFormats english{QLocale(QLocale::English, QLocale::UnitedStates)};
}

TEST(NumberFormat, standardGroupsThousandsWithTwoDecimals)
{
    const std::pair<const char*, const char*> cases[] = {
        {"1000000", "1,000,000.00"},
        {"12.5", "12.50"},
        {"0", "0.00"},
        {"84359936", "84,359,936.00"},
        {"371685463162880", "371,685,463,162,880.00"},
        {"999.995", "1,000.00"},
        {"-1234.5", "-1,234.50"},
        {"0.00999999", "0.01"},
        {"3.1e5", "310,000.00"},
        {"1.5E-1", "0.15"},
        {"100", "100.00"},
        {"1000", "1,000.00"},
        {"-0.001", "0.00"},
        {"007", "7.00"},
        {" 42 ", "42.00"},
        // Not numbers: shown as they stand.
        {"null", "null"},
        {"", ""},
        {"{}", "{}"},
        {"1,000", "1,000"},
        {"NaN", "NaN"},
        {"0x10", "0x10"},
        {"1e", "1e"},
        {".", "."},
        {"1e400", "1e400"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(english.standard(QString::fromLatin1(in)), QString::fromLatin1(out)) << in;
}

TEST(NumberFormat, halfWayRoundsAwayFromZeroOnTheExactDecimalText)
{
    const std::pair<const char*, const char*> cases[] = {
        {"1.005", "1.01"}, {"2.675", "2.68"}, {"0.125", "0.13"}, {"-0.125", "-0.13"},
        {"1000000000000000.5", "1,000,000,000,000,000.50"}, {"0.004999", "0.00"}, {"0.005", "0.01"},
        {"1000000000000000.005", "1,000,000,000,000,000.01"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(english.standard(QString::fromLatin1(in)), QString::fromLatin1(out)) << in;
}

TEST(NumberFormat, billionsInFixedWithSuffix)
{
    const std::pair<const char*, const char*> cases[] = {
        {"123000000000", "123.00B"},
        {"4999999", "0.00B"},
        {"5000000", "0.01B"},
        {"2415632670720", "2415.63B"},
        {"371685463162880", "371685.46B"},
        {"0", "0.00B"},
        {"-2500000000", "-2.50B"},
        {"1.5e12", "1500.00B"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(english.billions(QString::fromLatin1(in)), QString::fromLatin1(out)) << in;
    for (const char* bad : {"null", "", "{}", "abc", "1,5"}) {
        try {
            english.billions(QString::fromLatin1(bad));
            ADD_FAILURE() << "no failure for " << bad;
        } catch (const Failure& f) {
            EXPECT_EQ(f.description(), QStringLiteral("Type mismatch")) << bad;
        }
    }
    EXPECT_THROW(english.billions(QStringLiteral("1e999")), Failure);
}

TEST(NumberFormat, separatorsFollowTheLocaleButRawValuesAreAlwaysJson)
{
    const NumberFormats german{QLocale(QLocale::German, QLocale::Germany)};
    EXPECT_EQ(german.standard(QStringLiteral("1234567.891")), QStringLiteral("1.234.567,89"));
    EXPECT_EQ(german.standard(QStringLiteral("145.37")), QStringLiteral("145,37"));
    EXPECT_EQ(german.billions(QStringLiteral("2415632670720")), QStringLiteral("2415,63B"));
    // A German-looking text is not a JSON number.
    EXPECT_EQ(german.standard(QStringLiteral("145,37")), QStringLiteral("145,37"));
}
