#include "quotes/json_scan.h"

#include "core/plain_text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace larkspire {

namespace {
bool isJsonSpace(QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }
} // namespace

qsizetype JsonMemberValue(QStringView json, const CaseInsensitiveSearch& quotedName, QChar opener)
{
    for (qsizetype at = quotedName.indexIn(json); at >= 0; at = quotedName.indexIn(json, at + 1)) {
        qsizetype i = at + quotedName.size();
        while (i < json.size() && isJsonSpace(json[i]))
            ++i;
        if (i >= json.size() || json[i] != u':')
            continue;
        ++i;
        while (i < json.size() && isJsonSpace(json[i]))
            ++i;
        if (i < json.size() && (opener.isNull() || json[i] == opener))
            return i;
    }
    return -1;
}

namespace {

// The place of the next '"' or '\\' at or after `from`, or `n`: eight
// characters at a time where the processor allows.
qsizetype nextQuoteOrBackslash(const char16_t* data, qsizetype from, qsizetype n)
{
    qsizetype i = from;
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi16(u'"');
    const __m128i backslash = _mm_set1_epi16(u'\\');
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(v, quote), _mm_cmpeq_epi16(v, backslash)));
        if (mask != 0)
            return i + __builtin_ctz(unsigned(mask)) / 2;
    }
#endif
    for (; i < n; ++i)
        if (data[i] == u'"' || data[i] == u'\\')
            return i;
    return n;
}

} // namespace

std::optional<QString> DecodeJsonString(QStringView text, qsizetype openingQuote, qsizetype* end)
{
    if (openingQuote < 0 || openingQuote >= text.size() || text[openingQuote] != u'"')
        return std::nullopt;
    QString out;
    qsizetype i = openingQuote + 1;
    qsizetype runStart = i;
    const qsizetype n = text.size();
    const char16_t* data = reinterpret_cast<const char16_t*>(text.utf16());
    while (i < n) {
        i = nextQuoteOrBackslash(data, i, n); // plain text runs are skipped in bulk
        if (i >= n)
            break;
        const char16_t c = data[i];
        if (c == u'"') {
            out.append(text.mid(runStart, i - runStart));
            if (end)
                *end = i + 1;
            return out;
        }
        out.append(text.mid(runStart, i - runStart));
        if (i + 1 >= n)
            return std::nullopt;
        const char16_t e = text[i + 1].unicode();
        i += 2;
        switch (e) {
        case u'"': out.append(u'"'); break;
        case u'\\': out.append(u'\\'); break;
        case u'/': out.append(u'/'); break;
        case u'b': out.append(u'\b'); break;
        case u'f': out.append(u'\f'); break;
        case u'n': out.append(u'\n'); break;
        case u'r': out.append(u'\r'); break;
        case u't': out.append(u'\t'); break;
        case u'u': {
            if (i + 4 > n)
                return std::nullopt;
            int value = 0;
            for (int k = 0; k < 4; ++k) {
                const int d = hexDigitValue(text[i + k]);
                if (d < 0)
                    return std::nullopt;
                value = value * 16 + d;
            }
            i += 4;
            out.append(QChar(char16_t(value)));
            break;
        }
        default:
            return std::nullopt;
        }
        runStart = i;
    }
    return std::nullopt;
}

qsizetype JsonValueLength(QStringView text, qsizetype open)
{
    int depth = 0;
    bool inString = false;
    for (qsizetype i = open; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (inString) {
            if (c == u'\\')
                ++i;
            else if (c == u'"')
                inString = false;
        } else if (c == u'"') {
            inString = true;
        } else if (c == u'{' || c == u'[') {
            ++depth;
        } else if (c == u'}' || c == u']') {
            if (--depth == 0)
                return i + 1 - open;
        }
    }
    return text.size() - open;
}

} // namespace larkspire
