#pragma once
// A quote as a row of cells, for the window's nine columns or for fields
// chosen by name: one function per kind of row, the same cells for every
// writer.
#include "core/cell.h"
#include "quotes/quote.h"

#include <QStringList>

namespace larkspire {

// The results list's headers, the first naming what the first cell holds.
QStringList windowHeaders(bool names);
// The window's row: `first` (the symbol as given, or the name), then the
// eight figures as the window shows them; a figure that could not be shown
// is empty.
CellRow windowRow(const Quote& quote, const QString& first);

// Every field's name, in the order JSON writes them.
QStringList quoteFieldNames();
// The cells of the named fields (each one of quoteFieldNames()): texts as
// the page gives them, figures as the page's own numbers, times in ISO 8601
// (UTC) and as moments.
CellRow fieldRow(const Quote& quote, const QStringList& fields);

// "2026-06-26T20:00:01Z"; empty past the year 9999.
QString isoTime(qint64 utcSeconds);

} // namespace larkspire
