#pragma once
// A small quote page of the 2018 layout, with or without its figures.
#include <QByteArray>
#include <QString>

namespace larkspire::test {

inline QByteArray smallPage(const QString& symbol, const QString& name, bool withKeys = true)
{
    QByteArray page = "<html><head><title>" + symbol.toUtf8() + " : Summary for " + name.toUtf8() +
                      " - Yahoo Finance</title></head>\n<body>";
    if (withKeys)
        page += "\"QuoteSummaryStore\":{\"price\":{\"regularMarketOpen\":{\"raw\":10.5,\"fmt\":\"10.50\"},"
                "\"averageDailyVolume3Month\":{\"raw\":1234567,\"fmt\":\"1.23M\"},"
                "\"regularMarketDayHigh\":{\"raw\":11,\"fmt\":\"11.00\"},"
                "\"regularMarketPreviousClose\":{\"raw\":10.25,\"fmt\":\"10.25\"},"
                "\"postMarketPrice\":{\"raw\":10.75,\"fmt\":\"10.75\"},"
                "\"regularMarketDayLow\":{\"raw\":9.75,\"fmt\":\"9.75\"},"
                "\"regularMarketVolume\":{\"raw\":500,\"fmt\":\"500\"},"
                "\"marketCap\":{\"raw\":123000000000,\"fmt\":\"123B\"}}}";
    return page + "</body></html>";
}

} // namespace larkspire::test
