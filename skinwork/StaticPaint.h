// SPDX-License-Identifier: GPL-3.0-or-later
// Painting shared by the static controls: text or picture on a background fill,
// or a titled group frame. The control draws its own QFrame frame, if it has one,
// over the fill. Internal to the library.
#pragma once

#include "skinwork/StyledControl.h"

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QSize>

class QLabel;
class QPainter;

namespace skinwork {

struct StaticLook {
    QFont font;
    QColor text;
    QColor background;
    bool groupFrame = false;
};

// The styling of the static texts and frames: deferred font rebuild, bold for any
// non-zero value; they differ only in whether they record their position.
constexpr StylePolicy StaticPolicy(StylePolicy::Position position)
{
    return {
        .bold = StylePolicy::Bold::AnyNonZero,
        .rebuild = StylePolicy::Rebuild::Deferred,
        .boldRebuild = StylePolicy::Rebuild::Deferred,
        .sizeUsesFactor = true,
        .position = position,
        .backgroundColor = COLOR_BTNFACE,
    };
}

void PaintStatic(QLabel& label, QPainter& painter, const StaticLook& look);
QSize StaticSizeHint(const QLabel& label, const QFont& font, bool groupFrame);
// The picture of resource `resourceId` at its first size; null when unknown.
QPixmap ResourcePixmap(unsigned int resourceId);

} // namespace skinwork
