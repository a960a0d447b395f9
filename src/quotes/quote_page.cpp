#include "quotes/quote_page.h"

#include "core/plain_text.h"
#include "quotes/text_search.h"

#include <algorithm>

#include "quotes/cpu_features.h"

namespace larkspire {


namespace {

inline bool isLineBreakOrTab(char16_t c) { return c == u'\t' || c == u'\r' || c == u'\n'; }

#if defined(LARKSPIRE_AVX2_PATHS)
// For each set of kept characters among eight (bit j: character j kept),
// the byte shuffle that packs them to the front, and how many they are.
struct PackTable {
    alignas(16) unsigned char shuffle[256][16]{};
    unsigned char count[256]{};
    constexpr PackTable()
    {
        for (int keep = 0; keep < 256; ++keep) {
            int out = 0;
            for (int j = 0; j < 8; ++j)
                if (keep & (1 << j)) {
                    shuffle[keep][2 * out] = static_cast<unsigned char>(2 * j);
                    shuffle[keep][2 * out + 1] = static_cast<unsigned char>(2 * j + 1);
                    ++out;
                }
            for (int b = 2 * out; b < 16; ++b)
                shuffle[keep][b] = 0x80;
            count[keep] = static_cast<unsigned char>(out);
        }
    }
};
constexpr PackTable kPack;

__attribute__((target("avx2"))) inline void pack16(__m256i v, char16_t* o, qsizetype& written)
{
    const __m256i drop = _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi16(v, _mm256_set1_epi16(u'\t')),
                                                         _mm256_cmpeq_epi16(v, _mm256_set1_epi16(u'\r'))),
                                         _mm256_cmpeq_epi16(v, _mm256_set1_epi16(u'\n')));
    const unsigned keep = ~static_cast<unsigned>(_mm_movemask_epi8(
                              _mm_packs_epi16(_mm256_castsi256_si128(drop), _mm256_extracti128_si256(drop, 1)))) &
                          0xFFFFu;
    const unsigned keepLow = keep & 0xFF, keepHigh = keep >> 8;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + written),
                     _mm_shuffle_epi8(_mm256_castsi256_si128(v),
                                      _mm_load_si128(reinterpret_cast<const __m128i*>(kPack.shuffle[keepLow]))));
    written += kPack.count[keepLow];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + written),
                     _mm_shuffle_epi8(_mm256_extracti128_si256(v, 1),
                                      _mm_load_si128(reinterpret_cast<const __m128i*>(kPack.shuffle[keepHigh]))));
    written += kPack.count[keepHigh];
}

__attribute__((target("avx2"))) inline __m256i smallLanes(__m256i v)
{
    // Lanes whose value is 13 or less: saturating v - 13 is zero.
    return _mm256_cmpeq_epi16(_mm256_subs_epu16(v, _mm256_set1_epi16(13)), _mm256_setzero_si256());
}

// The cleaning pass 64 characters at a time, on processors that can: a
// stretch without a tab or line break is stored whole, one with them is
// packed eight characters by eight without a branch for each. Every store
// ends at or before the end of what was just read, so the pass can run in
// place.
__attribute__((target("avx2"))) void compactAvx2(const char16_t* in, qsizetype& i, qsizetype n, char16_t* o,
                                                 qsizetype& written)
{
    for (; i + 64 <= n; i += 64) {
        __m256i v[4];
        for (int k = 0; k < 4; ++k)
            v[k] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i + 16 * k));
        const __m256i any = _mm256_or_si256(_mm256_or_si256(smallLanes(v[0]), smallLanes(v[1])),
                                            _mm256_or_si256(smallLanes(v[2]), smallLanes(v[3])));
        if (_mm256_testz_si256(any, any)) {
            for (int k = 0; k < 4; ++k)
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + written + 16 * k), v[k]);
            written += 64;
            continue;
        }
        for (int k = 0; k < 4; ++k)
            pack16(v[k], o, written);
    }
}
#endif

} // namespace

namespace {

// Where the first tab or line break stands at or after `from`; `n` when
// there is none. Most of a page has none of them: this is the fast part.
qsizetype firstLineBreakOrTab(const char16_t* in, qsizetype from, qsizetype n)
{
    qsizetype k = from;
    for (;;) {
#if defined(__SSE2__)
        const __m128i thirteen = _mm_set1_epi16(13);
        const __m128i zero = _mm_setzero_si128();
        // Lanes whose value is 13 or less: saturating v - 13 is zero.
        auto small = [&](qsizetype at) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at));
            return _mm_cmpeq_epi16(_mm_subs_epu16(v, thirteen), zero);
        };
        for (; k + 32 <= n; k += 32) {
            const __m128i any = _mm_or_si128(_mm_or_si128(small(k), small(k + 8)),
                                             _mm_or_si128(small(k + 16), small(k + 24)));
            if (_mm_movemask_epi8(any) != 0)
                break;
        }
        for (; k + 8 <= n; k += 8)
            if (_mm_movemask_epi8(small(k)) != 0)
                break;
#endif
        const qsizetype blockEnd = std::min(n, k + 8);
        for (; k < blockEnd; ++k)
            if (isLineBreakOrTab(in[k]))
                return k;
        if (k >= n)
            return n;
    }
}

} // namespace

QString CleanQuotePage(QString page)
{
    const qsizetype n = page.size();
    const char16_t* in = reinterpret_cast<const char16_t*>(page.utf16());
    qsizetype i = firstLineBreakOrTab(in, 0, n);
    if (i == n)
        return page;
    // A page nobody else holds is cleaned where it stands (every store is at
    // or before the place just read); a shared one into a copy, in the same pass.
    QString out;
    char16_t* o = nullptr;
    if (page.isDetached()) {
        o = reinterpret_cast<char16_t*>(page.data());
        in = o;
    } else {
        out = QString(n, Qt::Uninitialized);
        o = reinterpret_cast<char16_t*>(out.data());
        std::copy(in, in + i, o);
    }
    qsizetype written = i;
#if defined(LARKSPIRE_AVX2_PATHS)
    if (__builtin_cpu_supports("avx2"))
        compactAvx2(in, i, n, o, written);
#endif
#if defined(__SSE2__)
    // One pass from here: eight characters are read, and stored as they are
    // when none of them is a candidate; a block holding one goes character
    // by character. The store never runs past the input's place, so it stays
    // inside the output.
    const __m128i thirteen = _mm_set1_epi16(13);
    const __m128i zero = _mm_setzero_si128();
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_subs_epu16(v, thirteen), zero)) == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + written), v);
            written += 8;
            continue;
        }
        for (qsizetype k = i; k < i + 8; ++k)
            if (!isLineBreakOrTab(in[k]))
                o[written++] = in[k];
    }
#endif
    for (; i < n; ++i)
        if (!isLineBreakOrTab(in[i]))
            o[written++] = in[i];
    if (out.isNull()) {
        page.truncate(written);
        return page;
    }
    out.truncate(written);
    return out;
}

QuotePage::QuotePage(QString cleaned) : m_text(std::move(cleaned)) {}

qsizetype QuotePage::keySearchStart() const
{
    if (m_keyStart < 0) {
        static const QString store = QStringLiteral("\"QuoteSummaryStore\":{");
        const qsizetype at = indexOfIgnoringCase(m_text, store);
        m_hasStore = at >= 0;
        m_keyStart = at < 0 ? 0 : at;
    }
    return m_keyStart;
}

bool QuotePage::hasQuoteSummaryStore() const
{
    keySearchStart();
    return m_hasStore;
}

QuoteTitle FindQuoteTitle(const QString& cleanedPage, const QString& upperSymbol)
{
    QuoteTitle result;
    const QString marker = QStringLiteral("<title>") + upperSymbol + QStringLiteral(" : Summary for ");
    const qsizetype at = indexOfIgnoringCase(cleanedPage, marker);
    if (at < 0)
        return result;
    result.TitleFound = true;
    const qsizetype start = at + marker.size();
    const qsizetype end = indexOfIgnoringCase(cleanedPage, u"- Yahoo Finance", start);
    if (end >= 0)
        result.Name = DecodeCharacterReferences(cleanedPage.mid(start, end - start));
    return result;
}

std::optional<QString> FindRawValue(const QuotePage& page, QStringView key)
{
    const QString marker = key.toString() + QStringLiteral("\":{\"raw\":");
    const QString& text = page.text();
    const qsizetype at = indexOfIgnoringCase(text, marker, page.keySearchStart());
    if (at < 0)
        return std::nullopt;
    const qsizetype start = at + marker.size();
    // The value ends where its format begins, whether that is a text or null.
    const qsizetype end = indexOfIgnoringCase(text, u",\"fmt\":", start);
    if (end < 0)
        return std::nullopt;
    return text.mid(start, end - start);
}

QString StripTags(QStringView text)
{
    QString out;
    out.reserve(text.size());
    bool inTag = false;
    for (const QChar c : text) {
        if (!inTag) {
            if (c == u'<')
                inTag = true;
            else
                out.append(c);
        } else if (c == u'>') {
            inTag = false;
        }
    }
    return out;
}

namespace {

struct NamedReference {
    const char16_t* name;
    char16_t value;
};
constexpr NamedReference kNamed[] = {
    {u"amp", u'&'},      {u"lt", u'<'},       {u"gt", u'>'},       {u"quot", u'"'},     {u"apos", u'\''},
    {u"nbsp", u'\u00A0'}, {u"copy", u'\u00A9'}, {u"reg", u'\u00AE'}, {u"trade", u'\u2122'}, {u"eacute", u'\u00E9'},
    {u"euro", u'\u20AC'}, {u"ndash", u'\u2013'}, {u"mdash", u'\u2014'}, {u"rsquo", u'\u2019'}, {u"lsquo", u'\u2018'},
};

// The code point a reference body stands for ("amp", "#39", "#x27"), or 0.
char32_t referenceValue(QStringView body)
{
    if (body.startsWith(u'#')) {
        const bool hex = body.size() > 1 && (body[1] == u'x' || body[1] == u'X');
        const QStringView digits = body.mid(hex ? 2 : 1);
        if (digits.isEmpty() || digits.size() > 8)
            return 0;
        char32_t value = 0;
        for (const QChar c : digits) {
            const int d = hexDigitValue(c);
            if (d < 0 || (!hex && d > 9))
                return 0;
            value = value * (hex ? 16 : 10) + static_cast<char32_t>(d);
        }
        // What no character may be stands as the replacement character.
        if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return 0xFFFD;
        return value;
    }
    for (const NamedReference& r : kNamed)
        if (body == QStringView(r.name))
            return r.value;
    return 0;
}

} // namespace

QString DecodeCharacterReferences(const QString& text)
{
    if (!text.contains(QLatin1Char('&')))
        return text;
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (text[i] == u'&') {
            const qsizetype limit = std::min(n, i + 12);
            qsizetype semi = i + 1;
            while (semi < limit && text[semi] != u';' && text[semi] != u'&')
                ++semi;
            if (semi < limit && text[semi] == u';') {
                const char32_t value = referenceValue(QStringView(text).mid(i + 1, semi - i - 1));
                if (value != 0) {
                    if (QChar::requiresSurrogates(value)) {
                        out.append(QChar(QChar::highSurrogate(value)));
                        out.append(QChar(QChar::lowSurrogate(value)));
                    } else {
                        out.append(QChar(static_cast<char16_t>(value)));
                    }
                    i = semi;
                    continue;
                }
            }
        }
        out.append(text[i]);
    }
    return out;
}

namespace {

std::optional<QString> displayedText(const QString& raw, CellDisplay display, const NumberFormats& formats)
{
    switch (display) {
    case CellDisplay::AsCut:
        return raw;
    case CellDisplay::WithoutTags:
        return StripTags(raw);
    case CellDisplay::Standard:
        return formats.standard(raw);
    case CellDisplay::Billions:
        return formats.billions(raw);
    }
    return raw;
}

} // namespace

std::optional<QString> QuoteCellValue(const QuotePage& page, const QuoteCell& cell, const NumberFormats& formats)
{
    const auto raw = FindRawValue(page, QString::fromLatin1(cell.key));
    return raw ? QuoteCellText(*raw, cell, formats) : std::nullopt;
}

std::optional<QString> QuoteCellText(const QString& raw, const QuoteCell& cell, const NumberFormats& formats)
{
    // A value far longer than any figure is none (markup around a figure
    // may make its raw text a little longer than what is shown).
    if (raw.size() > 50 * kMaxFigureChars)
        return std::nullopt;
    auto text = displayedText(raw, cell.display, formats);
    if (!text)
        return text;
    *text = withoutControlCharacters(std::move(*text));
    if (text->size() > kMaxFigureChars)
        return std::nullopt;
    return text;
}

} // namespace larkspire
