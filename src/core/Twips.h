#pragma once

#include <cmath>

namespace tellvane {

// Window geometry is kept in twips (1/1440 inch): 15 twips a pixel at 96 DPI.
inline int twipsToPixels(int twips, int dpi)
{
    return static_cast<int>(std::lround(static_cast<double>(twips) * dpi / 1440.0));
}

inline int pixelsToTwips(int pixels, int dpi)
{
    return dpi > 0 ? static_cast<int>(std::lround(static_cast<double>(pixels) * 1440.0 / dpi)) : 0;
}

}  // namespace tellvane
