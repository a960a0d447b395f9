#include "quotes/text_search.h"

#include <algorithm>
#include <tuple>

#include "quotes/cpu_features.h"

namespace larkspire {

namespace {

struct AsciiFold {
    std::array<char16_t, 128> table{};
    constexpr AsciiFold()
    {
        for (int c = 0; c < 128; ++c)
            table[static_cast<size_t>(c)] = static_cast<char16_t>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
};
constexpr AsciiFold kAscii;

inline char16_t foldUnit(char16_t c)
{
    if (c < 128)
        return kAscii.table[c];
    return QChar::toCaseFolded(c);
}

// An ASCII character that only itself and its other case fold to: "k" and
// "s" are left out, as the Kelvin sign and the long s fold to them.
inline bool anchorable(char16_t folded)
{
    return folded < 128 && folded != u'k' && folded != u's';
}

inline bool isAsciiLetter(char16_t folded) { return folded >= u'a' && folded <= u'z'; }

inline char32_t foldPoint(char32_t c)
{
    if (c < 128)
        return kAscii.table[c];
    return QChar::toCaseFolded(c);
}

#if defined(LARKSPIRE_AVX2_PATHS)
struct Anchors256 {
    __m256i want1, want2, case1, case2;
    qsizetype at1, at2;
};

// Lanes of the sixteen positions from `at` whose two anchor characters are in place.
__attribute__((target("avx2"))) inline __m256i candidates256(const char16_t* h, qsizetype at, const Anchors256& a)
{
    const __m256i x = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(h + at + a.at1)), a.case1);
    const __m256i y = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(h + at + a.at2)), a.case2);
    return _mm256_and_si256(_mm256_cmpeq_epi16(x, a.want1), _mm256_cmpeq_epi16(y, a.want2));
}

// The first place from `pos` where a block of 64 positions may hold a
// candidate, on processors that can look at sixteen at once; the caller
// looks closer from there.
__attribute__((target("avx2"))) qsizetype skipWithoutCandidates(const char16_t* h, qsizetype pos, qsizetype n,
                                                                qsizetype m, qsizetype anchor1, qsizetype anchor2,
                                                                char16_t c1, char16_t c2)
{
    const Anchors256 a{_mm256_set1_epi16(static_cast<short>(c1)), _mm256_set1_epi16(static_cast<short>(c2)),
                       _mm256_set1_epi16(isAsciiLetter(c1) ? 0x20 : 0), _mm256_set1_epi16(isAsciiLetter(c2) ? 0x20 : 0),
                       anchor1, anchor2};
    while (pos + m + 63 <= n) {
        const __m256i any = _mm256_or_si256(_mm256_or_si256(candidates256(h, pos, a), candidates256(h, pos + 16, a)),
                                            _mm256_or_si256(candidates256(h, pos + 32, a), candidates256(h, pos + 48, a)));
        if (!_mm256_testz_si256(any, any))
            break;
        pos += 64;
    }
    return pos;
}
const bool kHaveAvx2 = [] {
    __builtin_cpu_init(); // this runs among the static initialisers
    return __builtin_cpu_supports("avx2") != 0;
}();
#endif

} // namespace

CaseInsensitiveSearch::CaseInsensitiveSearch(QStringView needle)
{
    m_folded.reserve(static_cast<size_t>(needle.size()));
    for (qsizetype i = 0; i < needle.size(); ++i) {
        const char16_t u = needle[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < needle.size() && QChar::isLowSurrogate(needle[i + 1].unicode())) {
            const char32_t cp = foldPoint(QChar::surrogateToUcs4(u, needle[i + 1].unicode()));
            m_points.push_back(cp);
            m_folded.push_back(QChar::highSurrogate(cp));
            m_folded.push_back(QChar::lowSurrogate(cp));
            m_hasSurrogates = true;
            ++i;
        } else {
            const char16_t f = foldUnit(u);
            m_points.push_back(f);
            m_folded.push_back(f);
            if (QChar::isSurrogate(u))
                m_hasSurrogates = true;
        }
    }

    // KMP failure function, over code points when the needle holds surrogates.
    auto buildFailure = [this](const auto& seq) {
        m_failure.assign(seq.size() + 1, 0);
        m_failure[0] = -1;
        qsizetype k = -1;
        for (size_t i = 0; i < seq.size(); ++i) {
            while (k >= 0 && seq[static_cast<size_t>(k)] != seq[i])
                k = m_failure[static_cast<size_t>(k)];
            ++k;
            m_failure[i + 1] = k;
        }
    };
    if (m_hasSurrogates) {
        buildFailure(m_points);
        return;
    }
    buildFailure(m_folded);

    const qsizetype m = size();
    m_shift.fill(m);
    m_highShift = m;
    for (qsizetype i = 0; i + 1 < m; ++i) {
        const char16_t f = m_folded[static_cast<size_t>(i)];
        if (f < 256)
            m_shift[f] = m - 1 - i;
        else
            m_highShift = std::min(m_highShift, m - 1 - i);
    }

    // Anchors that pages hold seldom make fewer candidates: letters and
    // digits before the punctuation of markup, URLs and JSON.
    auto pick = [&](auto usable) {
        qsizetype a1 = 0;
        while (a1 < m && !usable(m_folded[static_cast<size_t>(a1)]))
            ++a1;
        qsizetype a2 = m - 1;
        while (a2 > a1 && !usable(m_folded[static_cast<size_t>(a2)]))
            --a2;
        return std::pair{a1, a2};
    };
    auto [a1, a2] = pick([](char16_t f) { return anchorable(f) && (isAsciiLetter(f) || (f >= u'0' && f <= u'9')); });
    if (a1 >= a2)
        std::tie(a1, a2) = pick(anchorable);
    if (a1 < a2) {
        m_anchor1 = a1;
        m_anchor2 = a2;
    }
}

bool CaseInsensitiveSearch::matchesAt(const char16_t* h, qsizetype pos) const
{
    const qsizetype m = size();
    for (qsizetype j = 0; j < m; ++j)
        if (foldUnit(h[pos + j]) != m_folded[static_cast<size_t>(j)])
            return false;
    return true;
}

qsizetype CaseInsensitiveSearch::indexIn(QStringView haystack, qsizetype from) const
{
    if (from < 0)
        from = 0;
    if (from > haystack.size())
        return -1;
    if (m_folded.empty())
        return from;
    if (m_hasSurrogates)
        return kmpCodePoints(haystack, from);
#if defined(__SSE2__)
    if (m_anchor1 >= 0)
        return anchored(haystack, from);
#endif
    return horspool(haystack, from);
}

qsizetype CaseInsensitiveSearch::anchored(QStringView haystack, qsizetype from) const
{
    const qsizetype m = size();
    const qsizetype n = haystack.size();
    const char16_t* h = reinterpret_cast<const char16_t*>(haystack.utf16());
    qsizetype pos = from;
    qsizetype work = 0;
#if defined(__SSE2__)
    // Eight positions at a time: a candidate has both anchor characters in
    // place (letters compared with their case bit set), then the whole
    // needle is compared.
    const char16_t c1 = m_folded[static_cast<size_t>(m_anchor1)];
    const char16_t c2 = m_folded[static_cast<size_t>(m_anchor2)];
    const __m128i want1 = _mm_set1_epi16(static_cast<short>(c1));
    const __m128i want2 = _mm_set1_epi16(static_cast<short>(c2));
    const __m128i case1 = _mm_set1_epi16(isAsciiLetter(c1) ? 0x20 : 0);
    const __m128i case2 = _mm_set1_epi16(isAsciiLetter(c2) ? 0x20 : 0);
    auto candidates = [&](qsizetype at) {
        const __m128i a = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h + at + m_anchor1)), case1);
        const __m128i b = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h + at + m_anchor2)), case2);
        return _mm_and_si128(_mm_cmpeq_epi16(a, want1), _mm_cmpeq_epi16(b, want2));
    };
    for (; pos + m + 7 <= n; pos += 8) {
        // Most blocks hold no candidate: skip 64 or 32 positions at a time.
#if defined(LARKSPIRE_AVX2_PATHS)
        if (kHaveAvx2)
            pos = skipWithoutCandidates(h, pos, n, m, m_anchor1, m_anchor2, c1, c2);
#endif
        while (pos + m + 31 <= n &&
               _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(candidates(pos), candidates(pos + 8)),
                                              _mm_or_si128(candidates(pos + 16), candidates(pos + 24)))) == 0)
            pos += 32;
        if (pos + m + 7 > n)
            break;
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(candidates(pos)));
        while (mask != 0) {
            const int bit = __builtin_ctz(mask);
            mask &= ~(3u << bit);
            const qsizetype candidate = pos + bit / 2;
            if (matchesAt(h, candidate))
                return candidate;
            work += m;
        }
        if (work > 4 * (pos - from) + 4 * m + 4096)
            return kmpUnits(haystack, pos);
    }
#endif
    for (; pos + m <= n; ++pos)
        if (matchesAt(h, pos))
            return pos;
    return -1;
}

qsizetype CaseInsensitiveSearch::horspool(QStringView haystack, qsizetype from) const
{
    const qsizetype m = size();
    const qsizetype n = haystack.size();
    const char16_t* h = reinterpret_cast<const char16_t*>(haystack.utf16());
    const char16_t* needle = m_folded.data();
    const char16_t last = needle[m - 1];
    qsizetype pos = from;
    qsizetype work = 0;
    while (pos + m <= n) {
        const char16_t c = foldUnit(h[pos + m - 1]);
        if (c == last) {
            qsizetype j = m - 2;
            while (j >= 0 && foldUnit(h[pos + j]) == needle[j])
                --j;
            if (j < 0)
                return pos;
            work += m - 1 - j;
        }
        pos += c < 256 ? m_shift[c] : m_highShift;
        // Comparisons out of all proportion to the ground covered: a page
        // built to defeat the skip. Finish in guaranteed linear time.
        if (++work > 4 * (pos - from) + 4 * m + 4096)
            return kmpUnits(haystack, pos);
    }
    return -1;
}

qsizetype CaseInsensitiveSearch::kmpUnits(QStringView haystack, qsizetype from) const
{
    const qsizetype m = size();
    const char16_t* h = reinterpret_cast<const char16_t*>(haystack.utf16());
    qsizetype k = 0;
    for (qsizetype i = from; i < haystack.size(); ++i) {
        const char16_t c = foldUnit(h[i]);
        while (k >= 0 && m_folded[static_cast<size_t>(k)] != c)
            k = m_failure[static_cast<size_t>(k)];
        if (++k == m)
            return i + 1 - m;
    }
    return -1;
}

qsizetype CaseInsensitiveSearch::kmpCodePoints(QStringView haystack, qsizetype from) const
{
    const qsizetype m = static_cast<qsizetype>(m_points.size());
    const qsizetype n = haystack.size();
    const char16_t* h = reinterpret_cast<const char16_t*>(haystack.utf16());
    qsizetype k = 0;
    for (qsizetype i = from; i < n; ++i) {
        char32_t c = h[i];
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(h[i + 1])) {
            c = QChar::surrogateToUcs4(h[i], h[i + 1]);
            ++i;
        }
        c = foldPoint(c);
        while (k >= 0 && m_points[static_cast<size_t>(k)] != c)
            k = m_failure[static_cast<size_t>(k)];
        if (++k == m) // simple folding keeps a code point's UTF-16 length
            return i + 1 - size();
    }
    return -1;
}

qsizetype indexOfIgnoringCase(QStringView haystack, QStringView needle, qsizetype from)
{
    return CaseInsensitiveSearch(needle).indexIn(haystack, from);
}

} // namespace larkspire
