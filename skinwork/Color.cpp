// SPDX-License-Identifier: GPL-3.0-or-later
#include "skinwork/Color.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace skinwork {

COLORREF GetSysColor(int index, const QWidget* widget)
{
    const QPalette palette = widget != nullptr ? widget->palette() : QApplication::palette();
    switch (index) {
    case COLOR_WINDOW:
        return FromQColor(palette.color(QPalette::Base));
    case COLOR_WINDOWTEXT:
        return FromQColor(palette.color(QPalette::WindowText));
    case COLOR_BTNFACE:
        return FromQColor(palette.color(QPalette::Button));
    default:
        return RGB(0, 0, 0);
    }
}

} // namespace skinwork
