#pragma once
// Finding a text in a page without regard to letter case, in time linear in
// the page: a Horspool scan for speed that hands over to Knuth-Morris-Pratt
// when a hostile page makes it work too hard. Letters are compared by their
// Unicode simple case folding, code point by code point, so positions stay
// exact in UTF-16 code units.
#include <QString>

#include <array>
#include <vector>

namespace larkspire {

class CaseInsensitiveSearch final {
public:
    explicit CaseInsensitiveSearch(QStringView needle);

    // The 0-based position of the first occurrence at or after `from`, or -1.
    qsizetype indexIn(QStringView haystack, qsizetype from = 0) const;
    qsizetype size() const { return static_cast<qsizetype>(m_folded.size()); }

private:
    qsizetype horspool(QStringView haystack, qsizetype from) const;
    qsizetype anchored(QStringView haystack, qsizetype from) const;
    bool matchesAt(const char16_t* h, qsizetype pos) const;
    qsizetype kmpUnits(QStringView haystack, qsizetype from) const;
    qsizetype kmpCodePoints(QStringView haystack, qsizetype from) const;

    std::vector<char16_t> m_folded;  // the folded needle, in UTF-16 units
    std::vector<char32_t> m_points;  // the folded needle, in code points
    std::vector<qsizetype> m_failure; // KMP failure function over units or points
    std::array<qsizetype, 256> m_shift{};
    qsizetype m_highShift = 0;
    bool m_hasSurrogates = false;
    // Two needle positions whose characters can be matched eight at a time:
    // ASCII, and letters only where no other character folds to them.
    qsizetype m_anchor1 = -1;
    qsizetype m_anchor2 = -1;
};

// One-off search: 0-based position or -1.
qsizetype indexOfIgnoringCase(QStringView haystack, QStringView needle, qsizetype from = 0);

} // namespace larkspire
