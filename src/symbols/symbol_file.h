#pragma once
// Symbol list files: plain text, one symbol per line. A line ends at a CR
// (with an LF right after it taken along) or at the end of the file, and
// every LF still inside a line cuts it once more, so CR LF, CR and LF files
// all give one symbol per line. Texts are kept exactly: blanks, case, commas,
// semicolons, NUL characters and empty lines all stay.
//
// A file that is valid UTF-8 is read as UTF-8 (a byte-order mark at its
// start is dropped); any other file is read as Windows-1252, byte for byte.
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

private:
    QString m_line;          // the current line's text since its last cut
    bool m_afterCr = false;  // the previous character ended a line with CR
    bool m_started = false;  // a line has begun since the last CR (or the start)
};

// Whether bytes that arrive in pieces are valid UTF-8 as a whole (no
// overlong forms, surrogates or sequences cut off at the end).
class Utf8Validator final {
public:
    void feed(QByteArrayView bytes);
    // Valid as a whole: nothing wrong so far and no sequence left open.
    bool valid() const { return m_valid && m_need == 0; }
    bool failed() const { return !m_valid; }

private:
    bool m_valid = true;
    int m_need = 0;
    unsigned char m_low = 0x80;
    unsigned char m_high = 0xBF;
};

// All symbols of a whole file's bytes.
QStringList symbolsFromBytes(const QByteArray& bytes);

// Windows-1252 bytes as text; the five bytes it leaves undefined become the
// control characters of the same number, so no byte is lost.
QString fromWindows1252(QByteArrayView bytes);

// Reads a symbol file in pieces, handing over symbols in batches so that a
// list of millions never stands twice in memory. Throws a Failure with a
// description a user understands when the file cannot be read.
void readSymbolFile(const QString& path, const std::function<void(const QStringList&)>& batch);

} // namespace larkspire
