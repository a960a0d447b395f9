#include "symbols/symbol_file.h"

#include "core/failure.h"
#include "core/text_decoding.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>

namespace larkspire {

void SymbolLineSplitter::feed(QStringView text, QStringList& out)
{
    qsizetype runStart = 0;
    auto flushRun = [&](qsizetype end) {
        if (end > runStart)
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
            out.append(m_line);
            m_line.clear();
            m_started = true; // the text after the LF is an item, even when empty
            runStart = i + 1;
        } else if (c == u'\r') {
            flushRun(i);
            out.append(m_line);
            m_line.clear();
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
    if (m_started || !m_line.isEmpty())
        out.append(m_line);
    m_line.clear();
    m_started = false;
    m_afterCr = false;
}

QStringList symbolsFromBytes(const QByteArray& bytes)
{
    QStringList out;
    SymbolLineSplitter splitter;
    Utf8Validator validator;
    validator.feed(bytes);
    QString text;
    if (validator.valid()) {
        text = QString::fromUtf8(bytes);
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
    } else {
        text = fromWindows1252(bytes);
    }
    splitter.feed(text, out);
    splitter.finish(out);
    return out;
}

namespace {

constexpr qint64 kChunk = 1 << 20;
constexpr qsizetype kBatch = 1 << 16;

[[noreturn]] void fail(const QString& what, const QString& path)
{
    throw Failure(what + QStringLiteral(": ") + path, 75);
}

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

} // namespace

void readSymbolFile(const QString& path, const std::function<void(const QStringList&)>& batch)
{
    // First pass: is the whole file valid UTF-8? The choice of decoding is
    // made for the file, not piece by piece.
    bool utf8Valid = true;
    {
        QFile file;
        openForReading(file, path);
        Utf8Validator validator;
        QByteArray chunk;
        while (!validator.failed() && !(chunk = file.read(kChunk)).isEmpty())
            validator.feed(chunk);
        if (file.error() != QFileDevice::NoError)
            fail(file.errorString(), path);
        utf8Valid = validator.valid();
    }

    QFile file;
    openForReading(file, path);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    SymbolLineSplitter splitter;
    QStringList out;
    bool first = true;
    QByteArray chunk;
    while (!(chunk = file.read(kChunk)).isEmpty()) {
        QString text = utf8Valid ? utf8.decode(chunk) : fromWindows1252(chunk);
        if (first && utf8Valid && text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        first = first && text.isEmpty();
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
}

} // namespace larkspire
