// SPDX-License-Identifier: GPL-3.0-or-later
#include "skinwork/CButtonEx.h"

#include "skinwork/Application.h"

using skinwork::StylePolicy;

namespace {

constexpr StylePolicy kButtonPolicy{
    .bold = StylePolicy::Bold::ExactlyOne,
    .rebuild = StylePolicy::Rebuild::Immediate,
    .boldRebuild = StylePolicy::Rebuild::Immediate,
    .sizeUsesFactor = true,
    .position = StylePolicy::Position::MainWindow,
    .backgroundColor = skinwork::COLOR_BTNFACE,
};

} // namespace

CButtonEx::CButtonEx(QWidget* parent) : CButtonEx(QString(), parent) {}

CButtonEx::CButtonEx(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
    , StyledControl(*this, kButtonPolicy)
{
    styleChanged();
}

CButtonEx::~CButtonEx() = default;

void CButtonEx::LoadIconA(unsigned int resourceId)
{
    const QIcon icon = skinwork::LoadResourceIcon(resourceId);
    if (icon.isNull()) {
        return;
    }
    setIcon(icon);
    const QList<QSize> sizes = icon.availableSizes();
    if (!sizes.isEmpty()) {
        setIconSize(sizes.first());
    }
}

void CButtonEx::paintEvent(QPaintEvent* event)
{
    recordPosition();
    QPushButton::paintEvent(event);
}

void CButtonEx::styleChanged()
{
    setFont(styledFont());
    QPalette colours = palette();
    colours.setColor(QPalette::ButtonText, skinwork::ToQColor(foreColor()));
    colours.setColor(QPalette::Button, skinwork::ToQColor(backColor()));
    setPalette(colours);
}
