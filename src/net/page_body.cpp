#include "net/page_body.h"

#include "core/text_decoding.h"

#include <QStringDecoder>

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The next "<f" or "<F" at or after `from` (a page has thousands of tags and
// few of them start so), sixteen bytes at a time where the processor allows;
// n when there is none.
qsizetype nextTagWithF(const char* data, qsizetype from, qsizetype n)
{
    qsizetype i = from;
#if defined(__SSE2__)
    const __m128i lt = _mm_set1_epi8('<');
    const __m128i f = _mm_set1_epi8('f');
    const __m128i lowerCase = _mm_set1_epi8(0x20);
    for (; i + 17 <= n; i += 16) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 1));
        const int mask = _mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi8(here, lt), _mm_cmpeq_epi8(_mm_or_si128(next, lowerCase), f)));
        if (mask != 0)
            return i + __builtin_ctz(unsigned(mask));
    }
#endif
    for (; i + 1 < n; ++i)
        if (data[i] == '<' && (data[i + 1] | 0x20) == 'f')
            return i;
    return n;
}

} // namespace

QString textOf(const PageBody& body) { return decodeBody(body.bytes, body.contentType); }

bool isConsentBody(const PageBody& body, const ServiceRules& rules)
{
    if (!rules.declinesConsent())
        return false;
    if (!asciiCompatibleBody(body.contentType))
        return rules.isConsentPage(textOf(body));
    // The same search as in the text: each "<form" tag up to its ">", only
    // these few bytes decoded.
    const char* data = body.bytes.constData();
    const qsizetype n = body.bytes.size();
    for (qsizetype at = 0; at < n;) {
        at = nextTagWithF(data, at, n);
        if (at >= n)
            return false;
        const char* lt = data + at;
        if (!isFormOpen(lt, n - at)) {
            ++at;
            continue;
        }
        const auto* gt = static_cast<const char*>(std::memchr(lt, '>', size_t(n - at)));
        if (!gt)
            return false;
        if (rules.isConsentFormTag(decodeBody(QByteArray(lt, gt + 1 - lt), body.contentType)))
            return true;
        at = gt - data;
    }
    return false;
}

bool bodyNamesKey(const PageBody& body, const ServiceRules& rules, const QString& key, QString& head)
{
    // The rule reads the first 256 K characters: only they are decoded,
    // into memory used again for every page.
    if (!rules.pageNamesKey)
        return false;
    constexpr qsizetype kHeadChars = 256 * 1024;
    const QByteArrayView bytes(body.bytes);
    if (!utf8Body(body.contentType)) {
        if (!asciiCompatibleBody(body.contentType))
            return rules.pageNamesKey(textOf(body), key);
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
    return rules.pageNamesKey(head, key);
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
