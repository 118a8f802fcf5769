// SPDX-License-Identifier: GPL-3.0-or-later
#include "skinwork/CListBoxEx.h"

using skinwork::StylePolicy;

namespace {

constexpr StylePolicy kListPolicy{
    .bold = StylePolicy::Bold::ExactlyOne,
    .rebuild = StylePolicy::Rebuild::Immediate,
    .boldRebuild = StylePolicy::Rebuild::Immediate,
    .sizeUsesFactor = true,
    .position = StylePolicy::Position::None,
    .backgroundColor = skinwork::COLOR_WINDOW,
};

} // namespace

CListBoxEx::CListBoxEx(QWidget* parent)
    : QListWidget(parent)
    , StyledControl(*this, kListPolicy)
{
    styleChanged();
}

CListBoxEx::~CListBoxEx() = default;

void CListBoxEx::styleChanged()
{
    setFont(styledFont());
    QPalette colours = palette();
    colours.setColor(QPalette::Text, skinwork::ToQColor(foreColor()));
    colours.setColor(QPalette::Base, skinwork::ToQColor(backColor()));
    setPalette(colours);
}
