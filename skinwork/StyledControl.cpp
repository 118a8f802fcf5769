// SPDX-License-Identifier: GPL-3.0-or-later
#include "skinwork/StyledControl.h"

#include "skinwork/Application.h"

#include <QWidget>

#include <algorithm>
#include <cmath>
#include <limits>

namespace skinwork {

StyledControl::StyledControl(QWidget& widget, const StylePolicy& policy)
    : widget_(widget)
    , policy_(policy)
    , description_(FontDescription::fromQFont(InheritedFont()))
{
    foreColor_ = GetSysColor(COLOR_WINDOWTEXT, &widget_);
    backColor_ = GetSysColor(policy_.backgroundColor, &widget_);
    rebuildFont();
    // A deferred control makes its font again at its first paint.
    fontChanged_ = policy_.rebuild == StylePolicy::Rebuild::Deferred;
}

StyledControl::~StyledControl() = default;

int StyledControl::SetTextSize(unsigned int size)
{
    const double scaled = policy_.sizeUsesFactor ? size * textSizeFactor_ : static_cast<double>(size);
    // Truncated like the integer conversion it stands for, but kept inside the
    // height field's range instead of overflowing it.
    description_.height = static_cast<std::int32_t>(
        std::min(std::trunc(scaled), static_cast<double>(std::numeric_limits<std::int32_t>::max())));
    return afterFontChange(FontField::Size);
}

int StyledControl::SetTextBold(int bold)
{
    const bool makeBold = policy_.bold == StylePolicy::Bold::AnyNonZero ? bold != 0 : bold == 1;
    description_.weight = makeBold ? kWeightBold : kWeightNormal;
    return afterFontChange(FontField::Bold);
}

int StyledControl::SetTextItalic(int italic)
{
    description_.italic = italic != 0 ? 1 : 0;
    return afterFontChange(FontField::Italic);
}

int StyledControl::SetTextUnderLine(int underline)
{
    description_.underline = underline != 0 ? 1 : 0;
    return afterFontChange(FontField::Underline);
}

int StyledControl::SetStrikeOut(int strikeOut)
{
    description_.strikeOut = strikeOut != 0 ? 1 : 0;
    return afterFontChange(FontField::StrikeOut);
}

int StyledControl::SetCharType(const char* faceName)
{
    if (!description_.setFaceName(faceName)) {
        return 0;
    }
    return afterFontChange(FontField::Face);
}

int StyledControl::SetForeColor(COLORREF color)
{
    foreColor_ = color;
    styleChanged();
    return redraw();
}

int StyledControl::SetBackColor(COLORREF color)
{
    backColor_ = color;
    styleChanged();
    return redraw();
}

int StyledControl::afterFontChange(FontField field)
{
    const StylePolicy::Rebuild rebuild = field == FontField::Bold ? policy_.boldRebuild : policy_.rebuild;
    if (rebuild == StylePolicy::Rebuild::Immediate) {
        rebuildFont();
    } else {
        fontChanged_ = true;
    }
    return redraw();
}

void StyledControl::prepareFont()
{
    if (fontChanged_) {
        rebuildFont();
    }
}

void StyledControl::rebuildFont()
{
    font_ = description_.toQFont();
    fontChanged_ = false;
    ++fontBuilds_;
    styleChanged();
}

void StyledControl::recordPosition()
{
    if (positionKnown_ || policy_.position == StylePolicy::Position::None) {
        return;
    }
    QRect area;
    switch (policy_.position) {
    case StylePolicy::Position::Parent:
        area = widget_.geometry();
        break;
    case StylePolicy::Position::MainWindow: {
        QWidget* reference = MainWindow();
        if (reference == nullptr) {
            reference = widget_.window();
        }
        const QPoint topLeft = reference == &widget_
            ? QPoint(0, 0)
            : reference->mapFromGlobal(widget_.mapToGlobal(QPoint(0, 0)));
        area = QRect(topLeft, widget_.size());
        break;
    }
    case StylePolicy::Position::Client:
        area = widget_.rect();
        break;
    case StylePolicy::Position::None:
        return;
    }
    position_ = ControlPosition{area.top(), area.left(), area.height(), area.width()};
    positionKnown_ = true;
}

int StyledControl::redraw()
{
    if (!widget_.isVisible()) {
        return 0;
    }
    widget_.repaint();
    return 1;
}

} // namespace skinwork
