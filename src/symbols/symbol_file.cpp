#include "symbols/symbol_file.h"

#include "core/failure.h"
#include "core/text_decoding.h"
#include "symbols/symbol_rules.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <optional>

namespace larkspire {

void SymbolLineSplitter::endLine(QStringList& out)
{
    if (m_tooLong)
        ++m_leftOut;
    else
        out.append(m_line);
    m_line.clear();
    m_tooLong = false;
}

void SymbolLineSplitter::feed(QStringView text, QStringList& out)
{
    qsizetype runStart = 0;
    auto flushRun = [&](qsizetype end) {
        if (end <= runStart || m_tooLong)
            return;
        if (m_line.size() + (end - runStart) > kMaxSymbolChars) {
            m_tooLong = true;
            m_line.clear();
            return;
        }
        m_line.append(text.mid(runStart, end - runStart));
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\n') {
            if (m_afterCr) { // the LF of a CR LF belongs to the CR
                m_afterCr = false;
                runStart = i + 1;
                continue;
            }
            flushRun(i);
            endLine(out);
            m_started = true; // the text after the LF is an item, even when empty
            runStart = i + 1;
        } else if (c == u'\r') {
            flushRun(i);
            endLine(out);
            m_afterCr = true;
            m_started = false;
            runStart = i + 1;
        } else {
            m_afterCr = false;
            m_started = true;
        }
    }
    flushRun(text.size());
}

void SymbolLineSplitter::finish(QStringList& out)
{
    if (m_started || !m_line.isEmpty() || m_tooLong)
        endLine(out);
    m_line.clear();
    m_started = false;
    m_afterCr = false;
}

namespace {

constexpr qint64 kChunk = 1 << 20;
constexpr qsizetype kBatch = 1 << 16;

[[noreturn]] void fail(const QString& what, const QString& path)
{
    throw Failure(what + QStringLiteral(": ") + path, 75);
}

const QString kHoldsNul = QStringLiteral("The file holds NUL characters, so it is no list of symbols");

enum class Encoding { Utf8, Windows1252, Utf16LE, Utf16BE };

std::optional<Encoding> utf16ByMark(const QByteArray& head)
{
    if (head.startsWith("\xff\xfe"))
        return Encoding::Utf16LE;
    if (head.startsWith("\xfe\xff"))
        return Encoding::Utf16BE;
    return std::nullopt;
}

// Turns a file's bytes, piece by piece, into text in the chosen encoding.
class SymbolTextDecoder final {
public:
    explicit SymbolTextDecoder(Encoding encoding)
        : m_encoding(encoding)
        , m_decoder(encoding == Encoding::Utf16LE   ? QStringDecoder::Utf16LE
                    : encoding == Encoding::Utf16BE ? QStringDecoder::Utf16BE
                                                    : QStringDecoder::Utf8,
                    encoding == Encoding::Utf8 ? QStringDecoder::Flag::ConvertInitialBom
                                               : QStringDecoder::Flag::Default)
    {
    }
    QString decode(const QByteArray& bytes)
    {
        QString text = m_encoding == Encoding::Windows1252 ? fromWindows1252(bytes) : m_decoder.decode(bytes);
        // One byte-order mark at the very start of a UTF-8 file is dropped.
        if (m_first && m_encoding == Encoding::Utf8 && text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        m_first = m_first && text.isEmpty();
        return text;
    }

private:
    Encoding m_encoding;
    QStringDecoder m_decoder;
    bool m_first = true;
};

} // namespace

QStringList symbolsFromBytes(const QByteArray& bytes)
{
    Encoding encoding = Encoding::Windows1252;
    if (const auto utf16 = utf16ByMark(bytes)) {
        encoding = *utf16;
    } else {
        Utf8Validator validator;
        validator.feed(bytes);
        encoding = validator.valid() ? Encoding::Utf8 : Encoding::Windows1252;
    }
    const QString text = SymbolTextDecoder(encoding).decode(bytes);
    if (text.contains(QChar(u'\0')))
        throw Failure(kHoldsNul, 75);
    QStringList out;
    SymbolLineSplitter splitter;
    splitter.feed(text, out);
    splitter.finish(out);
    return out;
}

namespace {

void openForReading(QFile& file, const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir())
        fail(QStringLiteral("Path is a folder, not a file"), path);
    if (info.exists() && !info.isFile())
        // A pipe or a device could keep the read waiting forever.
        fail(QStringLiteral("Not a regular file"), path);
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(file.errorString(), path);
}

// The encoding of the whole file, decided before any of it is read as text.
Encoding fileEncoding(const QString& path)
{
    QFile file;
    openForReading(file, path);
    QByteArray chunk = file.read(kChunk);
    if (const auto utf16 = utf16ByMark(chunk))
        return *utf16;
    Utf8Validator validator;
    for (; !chunk.isEmpty(); chunk = file.read(kChunk)) {
        if (chunk.contains('\0'))
            fail(kHoldsNul, path);
        validator.feed(chunk);
    }
    if (file.error() != QFileDevice::NoError)
        fail(file.errorString(), path);
    return validator.valid() ? Encoding::Utf8 : Encoding::Windows1252;
}

} // namespace

qsizetype readSymbolFile(const QString& path, const std::function<void(const QStringList&)>& batch)
{
    SymbolTextDecoder decoder(fileEncoding(path));
    QFile file;
    openForReading(file, path);
    SymbolLineSplitter splitter;
    QStringList out;
    QByteArray chunk;
    while (!(chunk = file.read(kChunk)).isEmpty()) {
        const QString text = decoder.decode(chunk);
        if (text.contains(QChar(u'\0')))
            fail(kHoldsNul, path);
        splitter.feed(text, out);
        if (out.size() >= kBatch) {
            batch(out);
            out.clear();
        }
    }
    if (file.error() != QFileDevice::NoError)
        fail(file.errorString(), path);
    splitter.finish(out);
    if (!out.isEmpty())
        batch(out);
    return splitter.leftOut();
}

} // namespace larkspire
