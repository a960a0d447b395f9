#pragma once
// Symbol list files: plain text, one symbol per line. A line ends at a CR
// (with an LF right after it taken along) or at the end of the file, and
// every LF still inside a line cuts it once more, so CR LF, CR and LF files
// all give one symbol per line. Texts are kept exactly: blanks, case, commas,
// semicolons, NUL characters and empty lines all stay.
//
// A file that starts with a UTF-16 byte-order mark (as editors save
// "Unicode") is read as UTF-16; a file that is valid UTF-8 is read as UTF-8
// (a byte-order mark at its start is dropped); any other file is read as
// Windows-1252, byte for byte. Text holding NUL characters is no list of
// symbols and is refused. Lines longer than a symbol can be are left out
// and counted.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace larkspire {

// Splits decoded text that arrives in pieces into symbols.
class SymbolLineSplitter final {
public:
    // Feeds the next piece; complete symbols are appended to `out`.
    void feed(QStringView text, QStringList& out);
    // The end of the file: the last line, unless the file ended right after a CR.
    void finish(QStringList& out);
    // The lines left out for being longer than a symbol can be.
    qsizetype leftOut() const { return m_leftOut; }

private:
    void endLine(QStringList& out);

    qsizetype m_leftOut = 0;
    bool m_tooLong = false;  // the current line is past the longest symbol
    QString m_line;          // the current line's text since its last cut
    bool m_afterCr = false;  // the previous character ended a line with CR
    bool m_started = false;  // a line has begun since the last CR (or the start)
};

// All symbols of a whole file's bytes; throws a Failure for text with NULs.
QStringList symbolsFromBytes(const QByteArray& bytes);

// Reads a symbol file in pieces, handing over symbols in batches so that a
// list of millions never stands twice in memory. Throws a Failure with a
// description a user understands when the file cannot be read. Returns the
// number of lines left out for their length.
qsizetype readSymbolFile(const QString& path, const std::function<void(const QStringList&)>& batch);

} // namespace larkspire
