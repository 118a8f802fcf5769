// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/gui/WindowPosition.h"

#include <algorithm>
#include <cstdio>

namespace host::gui {
namespace {

constexpr std::size_t kFieldWidth = 5;
constexpr int kLargestField = 99999;

std::optional<int> Field(std::string_view digits)
{
    int value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

std::optional<WindowCorner> StoredWindowCorner(std::string_view text, int desktopBottom, int desktopRight)
{
    if (text.size() != 2 * kFieldWidth) {
        return std::nullopt;
    }
    const auto top = Field(text.substr(0, kFieldWidth));
    const auto left = Field(text.substr(kFieldWidth));
    if (!top || !left) {
        return std::nullopt;
    }
    if (*top <= 0 || *left <= 0 || *top >= desktopBottom || *left >= desktopRight) {
        return std::nullopt;
    }
    return WindowCorner{*top, *left};
}

std::string WindowCornerText(WindowCorner corner)
{
    char text[16];
    std::snprintf(text, sizeof text, "%05d%05d", std::clamp(corner.top, 0, kLargestField),
                  std::clamp(corner.left, 0, kLargestField));
    return text;
}

} // namespace host::gui
