#pragma once
// The formats of the two stored values: the symbol list as one text joined
// by ";" and the display option read as the number its text begins with.
#include <QStringList>

namespace larkspire {

inline const QString kSettingsApplication = QStringLiteral("Kestrune");
inline const QString kSettingsSection = QStringLiteral("Larkspire");
inline const QString kKeyStockQuotes = QStringLiteral("Stock Quotes");
inline const QString kKeyShowFullnames = QStringLiteral("Show Fullnames");
// The browser identification to send instead of the program's own; only read.
inline const QString kKeyUserAgent = QStringLiteral("User Agent");
// The TLS cipher suites to offer instead of the program's own; only read.
inline const QString kKeyTlsCiphers = QStringLiteral("TLS Ciphers");
// Where quotes come from: "auto" (the service's quote list first) or
// "pages" (every symbol's page); only read.
inline const QString kKeyQuoteSource = QStringLiteral("Quote Source");

// The value of the number at the start of a text: blanks, tabs and line
// feeds are skipped wherever they stand, then sign, digits, a decimal point
// with digits and an exponent are read as far as they go; 0 when the text
// does not begin with a number.
double leadingNumericValue(const QString& text);

// Joins symbols with ";" and no separator at the ends.
QString joinSymbols(const QStringList& symbols);
// Every piece between ";" (empty pieces included; k separators give k + 1).
QStringList splitStoredSymbols(const QString& stored);

} // namespace larkspire
