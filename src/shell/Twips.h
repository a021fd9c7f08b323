#pragma once
// The window design measures in twips: 1440 to the inch, so 15 to a pixel at 96 dots per inch.
// Header only: pages use it without linking the shell.
#include <cmath>

namespace corvane::shell {

inline constexpr int kTwipsPerPixel = 15;

// The nearest whole pixel (halves away from zero).
inline int pixelsFromTwips(double twips) { return int(std::lround(twips / kTwipsPerPixel)); }

}  // namespace corvane::shell
