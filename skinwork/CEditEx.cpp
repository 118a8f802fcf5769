// SPDX-License-Identifier: GPL-3.0-or-later
#include "skinwork/CEditEx.h"

using skinwork::FontField;
using skinwork::StylePolicy;

namespace {

constexpr StylePolicy kEditPolicy{
    .bold = StylePolicy::Bold::ExactlyOne,
    .rebuild = StylePolicy::Rebuild::Immediate,
    .boldRebuild = StylePolicy::Rebuild::Immediate,
    .sizeUsesFactor = true,
    .position = StylePolicy::Position::Parent,
    .backgroundColor = skinwork::COLOR_WINDOW,
};

} // namespace

CEditEx::CEditEx(QWidget* parent)
    : QLineEdit(parent)
    , StyledControl(*this, kEditPolicy)
{
    styleChanged();
}

CEditEx::~CEditEx() = default;

int CEditEx::afterFontChange(FontField field)
{
    // The new font goes to the box itself (styleChanged) for every field, so bold
    // and strike-out show as well.
    rebuildFont();
    switch (field) {
    case FontField::Size:
    case FontField::Italic:
    case FontField::Underline:
    case FontField::Face:
        return 1;
    case FontField::Bold:
    case FontField::StrikeOut:
        break;
    }
    return redraw();
}

void CEditEx::paintEvent(QPaintEvent* event)
{
    recordPosition();
    QLineEdit::paintEvent(event);
}

void CEditEx::styleChanged()
{
    setFont(styledFont());
    QPalette colours = palette();
    colours.setColor(QPalette::Text, skinwork::ToQColor(foreColor()));
    colours.setColor(QPalette::Base, skinwork::ToQColor(backColor()));
    setPalette(colours);
}
