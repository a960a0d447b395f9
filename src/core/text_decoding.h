#pragma once
// Bytes from outside as text: the UTF-8 check that symbol files are read by,
// Windows-1252, and HTTP bodies by the charset their Content-Type names.
#include <QByteArray>
#include <QString>

namespace larkspire {

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

// Windows-1252 bytes as text; the five bytes it leaves undefined become the
// control characters of the same number, so no byte is lost.
QString fromWindows1252(QByteArrayView bytes);

// A body's bytes as text, by the charset of its Content-Type (UTF-8 when
// none is given or it is unknown).
QString decodeBody(const QByteArray& body, const QByteArray& contentType);
// The same, into `out`, whose memory is reused: decoding a page of the size
// of the last one takes no new memory.
void decodeBodyInto(QString& out, QByteArrayView body, const QByteArray& contentType);
// Whether every ASCII character of such a body stands as its own byte in
// it (UTF-8 and Windows-1252 bodies, not UTF-16 ones): markup can then be
// found in the bytes.
bool asciiCompatibleBody(const QByteArray& contentType);
// Whether such a body is read as UTF-8.
bool utf8Body(const QByteArray& contentType);

} // namespace larkspire
