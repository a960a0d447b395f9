#include "platform/page_body.h"

#include "core/text_decoding.h"
#include "quotes/consent_form.h"
#include "quotes/quote_url.h"

#include <QStringDecoder>

#include <cstring>

namespace larkspire {

namespace {

constexpr qsizetype kKeptBufferBytes = 8 << 20; // pages run to 3 MB; a body beyond this is let go
constexpr size_t kKeptBuffers = 12;              // more than the pages a run has in flight

bool isFormOpen(const char* p, qsizetype left)
{
    static const char form[] = "form";
    if (left < 5)
        return false;
    for (int k = 0; k < 4; ++k)
        if ((p[1 + k] | 0x20) != form[k])
            return false;
    return true;
}

} // namespace

QString textOf(const PageBody& body) { return decodeBody(body.bytes, body.contentType); }

bool isConsentBody(const PageBody& body)
{
    if (!asciiCompatibleBody(body.contentType))
        return IsConsentPage(textOf(body));
    // The same search as in the text: each "<form" tag up to its ">", only
    // these few bytes decoded.
    const char* data = body.bytes.constData();
    const qsizetype n = body.bytes.size();
    for (qsizetype at = 0; at < n;) {
        const auto* lt = static_cast<const char*>(std::memchr(data + at, '<', size_t(n - at)));
        if (!lt)
            return false;
        at = lt - data;
        if (!isFormOpen(lt, n - at)) {
            ++at;
            continue;
        }
        const auto* gt = static_cast<const char*>(std::memchr(lt, '>', size_t(n - at)));
        if (!gt)
            return false;
        if (IsConsentFormTag(decodeBody(QByteArray(lt, gt + 1 - lt), body.contentType)))
            return true;
        at = gt - data;
    }
    return false;
}

bool bodyNamesSymbol(const PageBody& body, const QString& upperSymbol, QString& head)
{
    // pageNamesSymbol reads the first 256 K characters: only they are
    // decoded, into memory used again for every page.
    constexpr qsizetype kHeadChars = 256 * 1024;
    const QByteArrayView bytes(body.bytes);
    if (!utf8Body(body.contentType)) {
        if (!asciiCompatibleBody(body.contentType))
            return pageNamesSymbol(textOf(body), upperSymbol);
        decodeBodyInto(head, bytes.first(std::min(bytes.size(), kHeadChars)), body.contentType);
    } else if (bytes.size() <= 4 * kHeadChars) {
        decodeBodyInto(head, bytes, body.contentType);
    } else {
        // A byte gives at most one character: piece by piece until there
        // are enough (four bytes give at least one, so the body holds them).
        QStringDecoder utf8(QStringConverter::Utf8);
        head.resize(0);
        for (qsizetype fed = 0; head.size() < kHeadChars;) {
            const qsizetype take = kHeadChars - head.size();
            const qsizetype at = head.size();
            head.resize(at + take + 4); // and what an earlier piece left unfinished
            const QChar* end = utf8.appendToBuffer(head.data() + at, bytes.sliced(fed, take));
            head.truncate(end - head.constData());
            fed += take;
        }
    }
    return pageNamesSymbol(head, upperSymbol);
}

QByteArray PageBuffers::bytes()
{
    if (m_bytes.empty())
        return QByteArray();
    QByteArray b = std::move(m_bytes.back());
    m_bytes.pop_back();
    return b;
}

void PageBuffers::giveBack(QByteArray bytes)
{
    if (bytes.capacity() == 0 || bytes.capacity() > kKeptBufferBytes || m_bytes.size() >= kKeptBuffers ||
        !bytes.isDetached())
        return;
    bytes.resize(0);
    m_bytes.push_back(std::move(bytes));
}

QString PageBuffers::text() { return std::exchange(m_text, QString()); }

QString& PageBuffers::head() { return m_head; }

void PageBuffers::giveBack(QString text)
{
    if (text.capacity() > kKeptBufferBytes || !text.isDetached() || text.capacity() <= m_text.capacity())
        return;
    text.resize(0);
    m_text = std::move(text);
}

} // namespace larkspire
