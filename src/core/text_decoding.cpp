#include "core/text_decoding.h"

#include <QByteArrayList>
#include <QStringDecoder>

namespace larkspire {

QString fromWindows1252(QByteArrayView bytes)
{
    static const char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    QString out(bytes.size(), Qt::Uninitialized);
    char16_t* o = reinterpret_cast<char16_t*>(out.data());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        o[i] = (b >= 0x80 && b < 0xA0) ? high[b - 0x80] : char16_t(b);
    }
    return out;
}

void Utf8Validator::feed(QByteArrayView bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n && m_valid; ++i) {
        const unsigned char b = p[i];
        if (m_need == 0) {
            if (b < 0x80)
                continue;
            m_low = 0x80;
            m_high = 0xBF;
            if (b >= 0xC2 && b <= 0xDF) {
                m_need = 1;
            } else if (b >= 0xE0 && b <= 0xEF) {
                m_need = 2;
                if (b == 0xE0)
                    m_low = 0xA0; // no overlong forms
                else if (b == 0xED)
                    m_high = 0x9F; // no surrogates
            } else if (b >= 0xF0 && b <= 0xF4) {
                m_need = 3;
                if (b == 0xF0)
                    m_low = 0x90;
                else if (b == 0xF4)
                    m_high = 0x8F; // nothing past U+10FFFF
            } else {
                m_valid = false;
            }
        } else if (b < m_low || b > m_high) {
            m_valid = false;
        } else {
            --m_need;
            m_low = 0x80;
            m_high = 0xBF;
        }
    }
}

namespace {

enum class Charset { Utf8, Windows1252, Other };

// The charset a Content-Type names, as decodeBody reads it; `name` is set
// for another one.
Charset charsetOf(const QByteArray& contentType, QByteArray* name = nullptr)
{
    QByteArray charset;
    for (const QByteArray& part : contentType.split(';')) {
        const QByteArray p = part.trimmed();
        if (p.toLower().startsWith("charset=")) {
            charset = p.mid(8).trimmed().toLower();
            if (charset.size() >= 2 && (charset.startsWith('"') || charset.startsWith('\'')))
                charset = charset.mid(1, charset.size() - 2);
        }
    }
    // Browsers read all of these labels as Windows-1252.
    static const QByteArrayList windows1252{"windows-1252", "cp1252", "us-ascii", "ascii",
                                            "iso-8859-1",   "latin1", "iso8859-1"};
    if (windows1252.contains(charset))
        return Charset::Windows1252;
    if (!charset.isEmpty() && charset != "utf-8" && charset != "utf8" &&
        QStringConverter::encodingForName(charset.constData())) {
        if (name)
            *name = charset;
        return Charset::Other;
    }
    return Charset::Utf8;
}

} // namespace

QString decodeBody(const QByteArray& body, const QByteArray& contentType)
{
    QString out;
    decodeBodyInto(out, body, contentType);
    return out;
}

void decodeBodyInto(QString& out, QByteArrayView body, const QByteArray& contentType)
{
    QByteArray name;
    switch (charsetOf(contentType, &name)) {
    case Charset::Windows1252:
        out = fromWindows1252(body);
        return;
    case Charset::Other:
        out = QStringDecoder(*QStringConverter::encodingForName(name.constData())).decode(body);
        return;
    case Charset::Utf8:
        break;
    }
    // Straight into the memory `out` holds (a UTF-8 byte never makes more
    // than one UTF-16 unit); it grows only for a larger body than before.
    out.resize(body.size());
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QChar* end = utf8.appendToBuffer(out.data(), body);
    out.truncate(end - out.constData());
}

bool asciiCompatibleBody(const QByteArray& contentType) { return charsetOf(contentType) != Charset::Other; }
bool utf8Body(const QByteArray& contentType) { return charsetOf(contentType) == Charset::Utf8; }

} // namespace larkspire
