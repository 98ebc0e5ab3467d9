// Constants of the drawing layer, with the values the viewer's code is written against.
#pragma once

#include <cstdint>

#include "platform/base/WinTypes.h"

namespace orv {

// Background modes: whether text and dashed lines fill their background.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// Text alignment of TextOut: one horizontal and one vertical flag, or-ed.
constexpr unsigned TA_LEFT = 0;
constexpr unsigned TA_RIGHT = 2;
constexpr unsigned TA_CENTER = 6;
constexpr unsigned TA_TOP = 0;
constexpr unsigned TA_BOTTOM = 8;
constexpr unsigned TA_BASELINE = 24;

// DrawText formats.
constexpr unsigned DT_LEFT = 0x0;
constexpr unsigned DT_TOP = 0x0;
constexpr unsigned DT_CENTER = 0x1;
constexpr unsigned DT_RIGHT = 0x2;
constexpr unsigned DT_VCENTER = 0x4;  // with DT_SINGLELINE only
constexpr unsigned DT_BOTTOM = 0x8;   // with DT_SINGLELINE only
constexpr unsigned DT_WORDBREAK = 0x10;
constexpr unsigned DT_SINGLELINE = 0x20;
constexpr unsigned DT_NOCLIP = 0x100;
constexpr unsigned DT_CALCRECT = 0x400;

// Stretch modes: COLORONCOLOR picks the nearest source pixel, HALFTONE averages.
constexpr int BLACKONWHITE = 1;
constexpr int WHITEONBLACK = 2;
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;

// Pen styles.
constexpr int PS_SOLID = 0;
constexpr int PS_NULL = 5;

// AlphaBlend: a constant opacity (0..255) and, with AC_SRC_ALPHA, the source's own
// per-pixel alpha on top of it.
constexpr std::uint8_t AC_SRC_ALPHA = 1;
struct BLENDFUNCTION {
    std::uint8_t SourceConstantAlpha = 255;
    std::uint8_t AlphaFormat = 0;
};

// Colours of the stock brushes.
constexpr COLORREF STOCK_WHITE = RGB(255, 255, 255);
constexpr COLORREF STOCK_LTGRAY = RGB(192, 192, 192);
constexpr COLORREF STOCK_GRAY = RGB(128, 128, 128);
constexpr COLORREF STOCK_DKGRAY = RGB(64, 64, 64);
constexpr COLORREF STOCK_BLACK = RGB(0, 0, 0);

}  // namespace orv
