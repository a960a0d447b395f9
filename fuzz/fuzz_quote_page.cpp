// Feeds arbitrary bytes to the quote page parser (every layout) and the
// consent form reader, and checks the page
// search against Qt's own case-insensitive search on the same text.
#include "quotes/consent_form.h"
#include "quotes/quote_page.h"
#include "quotes/quote_reading.h"
#include "quotes/text_search.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    // The first line names the symbol; the rest is the page, read as UTF-8
    // and, for odd code units, as raw UTF-16 too.
    const qsizetype nl = bytes.indexOf('\n');
    const QString symbol = QString::fromUtf8(nl < 0 ? QByteArray() : bytes.left(std::min<qsizetype>(nl, 64)));
    const QByteArray body = nl < 0 ? bytes : bytes.mid(nl + 1);
    static const larkspire::NumberFormats formats{QLocale::c()};
    for (const QString& text :
         {QString::fromUtf8(body), QString(reinterpret_cast<const QChar*>(body.constData()), body.size() / 2)}) {
        const larkspire::QuotePage page(larkspire::CleanQuotePage(text));
        const larkspire::QuoteReading reading = larkspire::ReadQuotePage(page, symbol.toUpper());
        for (const larkspire::QuoteCell& cell : larkspire::QuoteCellTable) {
            try {
                (void)larkspire::QuoteCellValue(page, cell, formats);
                (void)larkspire::QuoteCellValue(reading.figures, cell, formats);
            } catch (const larkspire::Failure&) {
            }
        }
        (void)larkspire::DeclineConsentForm(text);
        (void)larkspire::StripTags(text);
        (void)larkspire::DecodeCharacterReferences(text);
        (void)larkspire::parseDecimal(text);

        if (!symbol.isEmpty() && !symbol.contains(QChar(0xFFFD))) {
            const qsizetype mine = larkspire::indexOfIgnoringCase(text, symbol);
            const qsizetype qt = text.indexOf(symbol, 0, Qt::CaseInsensitive);
            if (mine != qt)
                std::abort();
        }
    }
    return 0;
}
