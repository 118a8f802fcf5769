// SPDX-License-Identifier: GPL-3.0-or-later
// Colours as the controls take them: a COLORREF is 0x00BBGGRR (red in the low byte).
// The system colours are read from a widget's palette (or the application's).
#pragma once

#include "skinwork/SkinworkExport.h"

#include <QColor>
#include <cstdint>

class QWidget;

namespace skinwork {

using COLORREF = std::uint32_t;

constexpr COLORREF RGB(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    return static_cast<COLORREF>(red) | (static_cast<COLORREF>(green) << 8) | (static_cast<COLORREF>(blue) << 16);
}
constexpr std::uint8_t GetRValue(COLORREF color) { return static_cast<std::uint8_t>(color & 0xFF); }
constexpr std::uint8_t GetGValue(COLORREF color) { return static_cast<std::uint8_t>((color >> 8) & 0xFF); }
constexpr std::uint8_t GetBValue(COLORREF color) { return static_cast<std::uint8_t>((color >> 16) & 0xFF); }

inline QColor ToQColor(COLORREF color)
{
    return QColor(GetRValue(color), GetGValue(color), GetBValue(color));
}
inline COLORREF FromQColor(const QColor& color)
{
    return RGB(static_cast<std::uint8_t>(color.red()), static_cast<std::uint8_t>(color.green()),
               static_cast<std::uint8_t>(color.blue()));
}

// The system colours the controls use, under their familiar index numbers.
enum SysColorIndex : int {
    COLOR_WINDOW = 5,      // background of edit boxes and lists (palette Base)
    COLOR_WINDOWTEXT = 8,  // text (palette WindowText)
    COLOR_BTNFACE = 15,    // dialog and button faces (palette Button)
};

// The colour of `index` in the palette of `widget`, or of the application when it is null.
// Unknown indices give black.
SKINWORK_EXPORT COLORREF GetSysColor(int index, const QWidget* widget = nullptr);

} // namespace skinwork
