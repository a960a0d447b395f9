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

namespace {

// The escapes a string of the service's writes: each stands for one
// character, none of them a letter or a backslash.
char16_t simpleEscape(char16_t e)
{
    switch (e) {
    case u'"': return u'"';
    case u'/': return u'/';
    case u'b': return u'\b';
    case u'f': return u'\f';
    case u'n': return u'\n';
    case u'r': return u'\r';
    case u't': return u'\t';
    default: return 0;
    }
}

// The closing quote of the JSON string whose text starts at `from`, when
// the string holds only simple escapes (no escaped backslash, no \u);
// -1 when it holds others or is not closed (the caller decodes it whole).
// Sixteen characters at a time where the processor allows.
qsizetype simpleStringEnd(const char16_t* d, qsizetype from, qsizetype n)
{
    qsizetype i = from;
    unsigned carry = 0; // the last character looked at was an escaping backslash
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const char simple[] = {'"', '/', 'b', 'f', 'n', 'r', 't'};
    for (; i + 16 <= n; i += 16) {
        // Packed to bytes with saturation: a character above 0xFF becomes
        // 0x7F or 0x80, neither of them one looked for.
        const __m128i c = _mm_packs_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i)),
                                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i + 8)));
        const unsigned q = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(c, quote)));
        const unsigned b = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(c, backslash)));
        if ((q | b | carry) == 0)
            continue;
        const unsigned escaped = ((b << 1) | carry) & 0xFFFFu;
        const unsigned end = q & ~escaped;
        const unsigned before = end ? (end & (0u - end)) - 1 : 0xFFFFu;
        unsigned ok = 0;
        for (const char e : simple)
            ok |= unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(c, _mm_set1_epi8(e))));
        if (escaped & before & (b | ~ok))
            return -1; // an escaped backslash or another escape
        if (end)
            return i + __builtin_ctz(end);
        carry = (b >> 15) & 1u;
    }
#endif
    for (bool escaping = carry != 0; i < n; ++i) {
        const char16_t c = d[i];
        if (escaping) {
            if (c == u'\\' || !simpleEscape(c))
                return -1;
            escaping = false;
        } else if (c == u'\\') {
            escaping = true;
        } else if (c == u'"') {
            return i;
        }
    }
    return -1;
}

bool isJsonSpaceOrEscape(const char16_t* d, qsizetype& i, qsizetype end)
{
    if (isJsonSpace(QChar(d[i]))) {
        ++i;
        return true;
    }
    if (d[i] == u'\\' && i + 1 < end && (d[i + 1] == u'n' || d[i + 1] == u'r' || d[i + 1] == u't')) {
        i += 2;
        return true;
    }
    return false;
}

} // namespace

std::optional<QString> ObjectMemberInJsonString(QStringView text, qsizetype openingQuote,
                                                const CaseInsensitiveSearch& quotedName,
                                                const CaseInsensitiveSearch& escapedQuotedName)
{
    if (openingQuote < 0 || openingQuote >= text.size() || text[openingQuote] != u'"')
        return std::nullopt;
    const char16_t* d = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype end = simpleStringEnd(d, openingQuote + 1, text.size());
    if (end < 0) {
        // Escapes of other kinds: decoded whole.
        const auto json = DecodeJsonString(text, openingQuote);
        const qsizetype open = json ? JsonMemberValue(*json, quotedName, u'{') : -1;
        if (open < 0)
            return std::nullopt;
        return json->mid(open, JsonValueLength(*json, open));
    }
    const QStringView string = text.left(end);
    for (qsizetype at = escapedQuotedName.indexIn(string, openingQuote + 1); at >= 0;
         at = escapedQuotedName.indexIn(string, at + 1)) {
        qsizetype i = at + escapedQuotedName.size();
        while (i < end && isJsonSpaceOrEscape(d, i, end)) {}
        if (i >= end || d[i] != u':')
            continue;
        ++i;
        while (i < end && isJsonSpaceOrEscape(d, i, end)) {}
        if (i >= end || d[i] != u'{')
            continue;
        // The object, decoded as it is walked, up to where it closes (or
        // the string ends).
        QString object;
        object.reserve(std::min<qsizetype>(end - i, 64 * 1024));
        int depth = 0;
        bool inString = false;
        for (qsizetype k = i; k < end; ++k) {
            const char16_t c = d[k] == u'\\' ? simpleEscape(d[++k]) : d[k];
            object.append(QChar(c));
            // In the decoded text a quote is a string's edge: it holds no backslash.
            if (c == u'"')
                inString = !inString;
            else if (!inString && (c == u'{' || c == u'['))
                ++depth;
            else if (!inString && (c == u'}' || c == u']') && --depth == 0)
                break;
        }
        return object;
    }
    return std::nullopt;
}

} // namespace larkspire
