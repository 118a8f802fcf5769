// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's stored position: the string value "Mirel" of section "WindowPos",
// "%05d%05d" with the top first, then the left edge of the window frame.
// Pure functions; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace host::gui {

inline constexpr std::string_view kWindowPosSection = "WindowPos";
inline constexpr std::string_view kWindowPosKey = "Mirel";

struct WindowCorner {
    int top = 0;
    int left = 0;
    bool operator==(const WindowCorner&) const = default;
};

// The stored corner to use, or nothing when the text is to be ignored: not exactly
// ten characters, not decimal, top or left not above 0, top not above the desktop's
// bottom or left not left of its right edge.
std::optional<WindowCorner> StoredWindowCorner(std::string_view text, int desktopBottom, int desktopRight);
// The text to store: each coordinate raised to 0 when negative, five digits each
// (a coordinate beyond 99999 is kept at 99999 so that the text stays ten characters).
std::string WindowCornerText(WindowCorner corner);

} // namespace host::gui
