#pragma once
#include <QRect>
#include <cmath>

namespace larkspire {

// Sizes and positions are given in twips: 15 twips make one pixel at 96 dpi.
inline constexpr int kTwipsPerPixel = 15;
inline int twipsToPixels(int twips) { return static_cast<int>(std::lround(twips / double(kTwipsPerPixel))); }
inline QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

} // namespace larkspire
