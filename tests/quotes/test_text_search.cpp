#include "quotes/text_search.h"

#include <gtest/gtest.h>

#include <random>

using namespace larkspire;

TEST(TextSearch, findsTheFirstOccurrenceIgnoringCase)
{
    const QString page = QStringLiteral("xx<TITLE>goog : summary FOR Sample - YAHOO FINANCE <title>GOOG");
    EXPECT_EQ(indexOfIgnoringCase(page, u"<title>GOOG : Summary for "), 2);
    EXPECT_EQ(indexOfIgnoringCase(page, u"<title>goog", 3), 51);
    EXPECT_EQ(indexOfIgnoringCase(page, u"- Yahoo Finance"), 35);
    EXPECT_EQ(indexOfIgnoringCase(page, u"missing"), -1);
    EXPECT_EQ(indexOfIgnoringCase(page, u"g", page.size()), -1);
    EXPECT_EQ(indexOfIgnoringCase(page, u"", 5), 5);
    EXPECT_EQ(indexOfIgnoringCase(page, u"xx", 100), -1);
    EXPECT_EQ(indexOfIgnoringCase(QString(), u"a"), -1);
    // A marker as the very last characters.
    EXPECT_EQ(indexOfIgnoringCase(QStringLiteral("abcmarketCap\":{\"raw\":"), u"MARKETCAP\":{\"RAW\":"), 3);
}

TEST(TextSearch, foldsEveryLetterOfUnicodeAndKeepsPositionsExact)
{
    // Non-ASCII symbols: Ä/ä, Greek Σ/σ/ς, Cyrillic, and a Deseret letter outside the BMP.
    const QString page = QStringLiteral("€€<title>NESTLÉ.ÄB : x σύμβολο Ж 𐐨𐐩 end");
    EXPECT_EQ(indexOfIgnoringCase(page, u"<title>nestlé.äb"), 2);
    EXPECT_EQ(indexOfIgnoringCase(page, u"ΣΎΜΒΟΛΟ"), 23);
    EXPECT_EQ(indexOfIgnoringCase(page, u"ж"), 31);
    EXPECT_EQ(indexOfIgnoringCase(page, u"𐐀𐐁"), 33) << "supplementary letters fold too";
    EXPECT_EQ(indexOfIgnoringCase(page, u"𐐁 END"), 35);
    // A lone surrogate in the page is just a character.
    QString broken = QStringLiteral("ab");
    broken.append(QChar(0xD800));
    broken.append(QStringLiteral("cd"));
    EXPECT_EQ(indexOfIgnoringCase(broken, u"CD"), 3);
}

TEST(TextSearch, agreesWithQtOnRandomTexts)
{
    std::mt19937 rng(7);
    const QString alphabet = QStringLiteral("aAbB\"{:éÉσΣ");
    auto randomText = [&](int len) {
        QString s;
        for (int i = 0; i < len; ++i)
            s.append(alphabet[std::uniform_int_distribution<int>(0, int(alphabet.size()) - 1)(rng)]);
        return s;
    };
    for (int round = 0; round < 3000; ++round) {
        const QString hay = randomText(std::uniform_int_distribution<int>(0, round % 4 ? 60 : 400)(rng));
        const QString needle = randomText(std::uniform_int_distribution<int>(1, 6)(rng));
        const int from = std::uniform_int_distribution<int>(0, 5)(rng);
        ASSERT_EQ(indexOfIgnoringCase(hay, needle, from), hay.indexOf(needle, from, Qt::CaseInsensitive))
            << hay.toStdString() << " / " << needle.toStdString();
    }
    // Long stretches without the needle, then the needle or a near miss of it
    // (in any case) anywhere, as a marker stands in a page.
    const QString filler = QStringLiteral("xX/\"<> 0=");
    for (int round = 0; round < 1000; ++round) {
        QString hay;
        const int len = std::uniform_int_distribution<int>(0, 700)(rng);
        for (int i = 0; i < len; ++i)
            hay.append(filler[std::uniform_int_distribution<int>(0, int(filler.size()) - 1)(rng)]);
        const QString needle = QStringLiteral("/v10/Quote") + randomText(std::uniform_int_distribution<int>(0, 3)(rng));
        QString placed = round % 3 ? needle.toUpper() : needle;
        if (round % 5 == 0)
            placed[std::uniform_int_distribution<int>(0, int(placed.size()) - 1)(rng)] = QLatin1Char('x');
        hay.insert(std::uniform_int_distribution<int>(0, len)(rng), placed);
        ASSERT_EQ(indexOfIgnoringCase(hay, needle), hay.indexOf(needle, 0, Qt::CaseInsensitive))
            << hay.toStdString() << " / " << needle.toStdString();
    }
}

TEST(TextSearch, hostilePagesStayLinear)
{
    // A needle whose last character keeps matching while the rest does not:
    // a plain skip search would compare ~n*m characters here.
    const QString page = QString(400000, QLatin1Char('a'));
    const QString needle = QStringLiteral("b") + QString(2000, QLatin1Char('a'));
    EXPECT_EQ(indexOfIgnoringCase(page, needle), -1);
    EXPECT_EQ(indexOfIgnoringCase(QString(page + needle), needle), 400000);
    EXPECT_EQ(indexOfIgnoringCase(QString(page + QStringLiteral("B") + QString(2000, QLatin1Char('A'))), needle), 400000);
}
